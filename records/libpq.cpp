#include "records/libpq.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

#include "records/store.h"

namespace vx::records {

namespace {

constexpr const char* kLibrary = "libpq.so.5";

struct Loaded {
  Libpq pq{};
  std::string error;
};

template <typename F>
void Bind(void* h, const char* name, F& f, std::string& error) {
  f = reinterpret_cast<F>(dlsym(h, name));
  if (!f && error.empty()) error = std::string(kLibrary) + " has no " + name;
}

Loaded Load() {
  Loaded l;
  // Never closed: its connections live as long as the stores that hold them. Bound lazily:
  // the Kerberos libraries it brings would otherwise resolve every symbol they have, a
  // millisecond of each command that reads from a server; its own functions are all looked
  // up below.
  void* h = dlopen(kLibrary, RTLD_LAZY | RTLD_LOCAL);
  if (!h) {
    const char* why = dlerror();
    l.error = std::string("the PostgreSQL client library cannot be loaded: ") +
              (why ? why : kLibrary) + " (install libpq5)";
    return l;
  }
  Libpq& p = l.pq;
  std::string& e = l.error;
  Bind(h, "PQclear", p.clear, e);
  Bind(h, "PQconnectPoll", p.connectPoll, e);
  Bind(h, "PQconnectStart", p.connectStart, e);
  Bind(h, "PQconninfoFree", p.conninfoFree, e);
  Bind(h, "PQconninfoParse", p.conninfoParse, e);
  Bind(h, "PQconsumeInput", p.consumeInput, e);
  Bind(h, "PQerrorMessage", p.errorMessage, e);
  Bind(h, "PQescapeLiteral", p.escapeLiteral, e);
  Bind(h, "PQexec", p.exec, e);
  Bind(h, "PQfinish", p.finish, e);
  Bind(h, "PQfformat", p.fformat, e);
  Bind(h, "PQfreemem", p.freemem, e);
  Bind(h, "PQftype", p.ftype, e);
  Bind(h, "PQgetCopyData", p.getCopyData, e);
  Bind(h, "PQgetResult", p.getResult, e);
  Bind(h, "PQgetisnull", p.getisnull, e);
  Bind(h, "PQgetlength", p.getlength, e);
  Bind(h, "PQgetvalue", p.getvalue, e);
  Bind(h, "PQisBusy", p.isBusy, e);
  Bind(h, "PQnfields", p.nfields, e);
  Bind(h, "PQntuples", p.ntuples, e);
  Bind(h, "PQresultErrorField", p.resultErrorField, e);
  Bind(h, "PQresultErrorMessage", p.resultErrorMessage, e);
  Bind(h, "PQresultStatus", p.resultStatus, e);
  Bind(h, "PQsendQueryParams", p.sendQueryParams, e);
  Bind(h, "PQsetNoticeProcessor", p.setNoticeProcessor, e);
  Bind(h, "PQsetSingleRowMode", p.setSingleRowMode, e);
  Bind(h, "PQsocket", p.socket, e);
  Bind(h, "PQstatus", p.status, e);
  return l;
}

}  // namespace

const Libpq& Pq() {
  static const Loaded loaded = Load();
  if (!loaded.error.empty()) throw StoreError(loaded.error);
  return loaded.pq;
}

}  // namespace vx::records
