#include "PostgresSchema.h"

namespace zel::service {

namespace {

// Step 1: the accounts, the counted login requests, and the count itself as
// one call, so two machines counting the same key at once take turns.
constexpr const char* kSteps[] = {
    R"(CREATE TABLE accounts (
         login text PRIMARY KEY,
         mail text NOT NULL,
         computer text NOT NULL,
         client text NOT NULL,
         created bigint NOT NULL);
       CREATE TABLE login_requests (key text NOT NULL, at bigint NOT NULL);
       CREATE INDEX login_requests_key ON login_requests (key, at);
       CREATE FUNCTION count_login_request(k text, lim integer, since bigint, now bigint)
       RETURNS boolean LANGUAGE plpgsql AS $$
       BEGIN
         PERFORM pg_advisory_xact_lock(hashtext(k));
         DELETE FROM login_requests WHERE key = k AND at <= since;
         IF (SELECT count(*) FROM login_requests WHERE key = k) >= lim THEN
           RETURN false;
         END IF;
         INSERT INTO login_requests (key, at) VALUES (k, now);
         RETURN true;
       END $$;)",
};

} // namespace

std::span<const char* const> PostgresSchemaSteps() {
    return kSteps;
}

} // namespace zel::service
