#include "HttpResponses.h"

namespace zel::service {

namespace {

constexpr const char* kTextType = "text/plain; charset=us-ascii";

// Without a response (no memory) the library closes the connection.
void Queue(MHD_Connection* connection, unsigned status, MHD_Response* response, const char* type) {
    if (!response)
        return;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
}

ssize_t ReadArchive(void* data, std::uint64_t offset, char* buffer, std::size_t size) {
    auto& in = **static_cast<std::shared_ptr<std::istream>*>(data);
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(buffer, static_cast<std::streamsize>(size));
    const std::streamsize got = in.gcount();
    return got > 0 ? got : MHD_CONTENT_READER_END_WITH_ERROR;
}

void CloseArchive(void* data) {
    delete static_cast<std::shared_ptr<std::istream>*>(data);
}

} // namespace

void QueueReply(MHD_Connection* connection, const Reply& reply) {
    Queue(connection, reply.status,
          MHD_create_response_from_buffer(reply.body.size(), const_cast<char*>(reply.body.data()),
                                          MHD_RESPMEM_MUST_COPY),
          kTextType);
}

void QueueArchive(MHD_Connection* connection, const StoredArchive& archive) {
    Queue(connection, MHD_HTTP_OK,
          MHD_create_response_from_callback(
              static_cast<std::uint64_t>(archive.size), 65536, &ReadArchive,
              new std::shared_ptr<std::istream>(archive.data), &CloseArchive),
          "application/zip");
}

} // namespace zel::service
