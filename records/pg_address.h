// How a server's address is shown and checked: never with its password.
#pragma once

#include <string>

namespace vx::records {

// An address with '@' more than once before its host: a password holding an unencoded '@' that
// libpq would take in part for the host (and print in its messages).
bool AmbiguousAt(const std::string& url);

// The address as libpq reads it, without the password.
std::string PgDisplayName(const std::string& url);

}  // namespace vx::records
