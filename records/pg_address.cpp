#include "records/pg_address.h"

#include <algorithm>

#include "records/libpq.h"
#include "records/store.h"

namespace vx::records {

bool AmbiguousAt(const std::string& url) {
  auto start = url.find("://");
  if (start == std::string::npos) return false;
  std::string netloc = url.substr(start + 3, url.find_first_of("/?", start + 3) - start - 3);
  return std::count(netloc.begin(), netloc.end(), '@') > 1;
}

std::string PgDisplayName(const std::string& url) {
  // libpq reads the address in all its forms (user:password@, ?password=, percent-encoding);
  // the name shown is rebuilt from what it read, without the password.
  if (AmbiguousAt(url)) return "postgresql://(an address with '@' more than once)";
  const Libpq* pq = nullptr;
  try {
    pq = &Pq();
  } catch (const StoreError&) {
    return "postgresql://(an address read without the PostgreSQL client library)";
  }
  char* error = nullptr;
  PQconninfoOption* options = pq->conninfoParse(url.c_str(), &error);
  if (!options) {
    if (error) pq->freemem(error);
    return "postgresql://(an address libpq cannot read)";
  }
  std::string user, host, port, dbname;
  for (PQconninfoOption* o = options; o->keyword; ++o) {
    if (!o->val) continue;
    const std::string key = o->keyword;
    if (key == "user") user = o->val;
    if (key == "host") host = o->val;
    if (key == "port") port = o->val;
    if (key == "dbname") dbname = o->val;
  }
  pq->conninfoFree(options);
  const bool socket = host.find('/') != std::string::npos;
  std::string out = "postgresql://" + (user.empty() ? "" : user + "@") + (socket ? "" : host) +
                    (port.empty() ? "" : ":" + port) + "/" + dbname;
  if (socket) out += "?host=" + host;
  return out;
}

}  // namespace vx::records
