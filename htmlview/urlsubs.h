#pragma once
// URL string routines for BASE elements and "url(" values: nothing is fetched.

#include <string>

std::string BaseOfUrl(const std::string& Url);
std::string CombineUrl(const std::string& Base, const std::string& Reference);
bool IsCompleteUrl(const std::string& Url);
