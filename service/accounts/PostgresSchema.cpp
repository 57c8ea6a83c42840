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
       CREATE TABLE login_requests (key text NOT NULL, expires bigint NOT NULL);
       CREATE INDEX login_requests_key ON login_requests (key);
       CREATE INDEX login_requests_expires ON login_requests (expires);
       CREATE FUNCTION count_login_request(p_key text, p_limit integer, p_now bigint, p_expires bigint)
       RETURNS boolean LANGUAGE plpgsql AS $$
       BEGIN
         PERFORM pg_advisory_xact_lock(hashtext(p_key));
         DELETE FROM login_requests AS r WHERE r.expires <= p_now;
         IF (SELECT count(*) FROM login_requests AS r WHERE r.key = p_key) >= p_limit THEN
           RETURN false;
         END IF;
         INSERT INTO login_requests (key, expires) VALUES (p_key, p_expires);
         RETURN true;
       END $$;)",
};

} // namespace

std::span<const char* const> PostgresSchemaSteps() {
    return kSteps;
}

} // namespace zel::service
