// The PostgreSQL client library, loaded the first time a server's store is opened: a program
// that keeps its records in a file, or none, starts without it and the dozens of libraries it
// brings (TLS, Kerberos, LDAP).
#pragma once

#include <libpq-fe.h>

namespace vx::records {

struct Libpq {
  decltype(&::PQclear) clear;
  decltype(&::PQconnectPoll) connectPoll;
  decltype(&::PQconnectStart) connectStart;
  decltype(&::PQconninfoFree) conninfoFree;
  decltype(&::PQconninfoParse) conninfoParse;
  decltype(&::PQconsumeInput) consumeInput;
  decltype(&::PQerrorMessage) errorMessage;
  decltype(&::PQescapeLiteral) escapeLiteral;
  decltype(&::PQexec) exec;
  decltype(&::PQfinish) finish;
  decltype(&::PQfformat) fformat;
  decltype(&::PQfreemem) freemem;
  decltype(&::PQftype) ftype;
  decltype(&::PQgetCopyData) getCopyData;
  decltype(&::PQgetResult) getResult;
  decltype(&::PQgetisnull) getisnull;
  decltype(&::PQgetlength) getlength;
  decltype(&::PQgetvalue) getvalue;
  decltype(&::PQisBusy) isBusy;
  decltype(&::PQnfields) nfields;
  decltype(&::PQntuples) ntuples;
  decltype(&::PQresultErrorField) resultErrorField;
  decltype(&::PQresultErrorMessage) resultErrorMessage;
  decltype(&::PQresultStatus) resultStatus;
  decltype(&::PQsendQueryParams) sendQueryParams;
  decltype(&::PQsetNoticeProcessor) setNoticeProcessor;
  decltype(&::PQsetSingleRowMode) setSingleRowMode;
  decltype(&::PQsocket) socket;
  decltype(&::PQstatus) status;
};

// The library's functions; throws StoreError when it cannot be loaded or lacks one of them.
const Libpq& Pq();

}  // namespace vx::records
