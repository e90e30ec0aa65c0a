// Scope guards for the try/finally and try/except-reraise shapes that ported code is full
// of. TFinally runs its action however the scope is left (an exception from the action itself is
// swallowed only while another exception is already on its way); TOnError runs its action only
// when the scope is left by an exception.
#pragma once

#include <exception>
#include <utility>

// Runs Undo when the scope is left by an exception (Undo must not raise).
template <class F>
class TOnError {
 public:
  explicit TOnError(F Undo) : FUndo(std::move(Undo)), FCount(std::uncaught_exceptions()) {}
  ~TOnError() {
    if (std::uncaught_exceptions() > FCount) FUndo();
  }

 private:
  F FUndo;
  int FCount;
};

// Runs Final however the scope is left.
template <class F>
class TFinally {
 public:
  explicit TFinally(F Final) : FFinal(std::move(Final)) {}
  ~TFinally() noexcept(false) {
    if (std::uncaught_exceptions() > FCount) {
      try {
        FFinal();
      } catch (...) {
      }
    } else {
      FFinal();
    }
  }

 private:
  F FFinal;
  int FCount = std::uncaught_exceptions();
};
