// Every page of the application registers how it is made before the host window first shows it.
#pragma once

void RegisterApplicationPages();
