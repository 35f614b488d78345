// Applying the registration rows of the server's classes (registry_rows.h) through a RegistryAccess.
#pragma once

#include <string>
#include <vector>

#include "toolbar/registry_access.h"

// Registers the rows in order. The first failure ends the work and is the result; rows after it are
// not touched.
RegistryStatus ApplyRegistration(const std::vector<RegistryRow>& rows, RegistryAccess& registry);

// Removes the rows, deepest key first, as each row's UnregisterAction says. Failures (a key already
// gone, a key that another program has put a subkey under) are ignored.
void ApplyUnregistration(const std::vector<RegistryRow>& rows, RegistryAccess& registry);

// Every class of the server, in table order, with `modulePath` as its server; the first failure ends
// registration and is the result.
RegistryStatus RegisterServerClasses(const std::string& modulePath, RegistryAccess& registry);

// Every class of the server, in table order, ignoring failures.
void UnregisterServerClasses(RegistryAccess& registry);
