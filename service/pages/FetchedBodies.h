#pragma once

#include "FetchResult.h"

// What a fetched body is, and the text encodings the rewriters cannot read
// turned into UTF-8 before they see it.
namespace zel::service {

// Whether the body is an HTML document (by its type, or by its first bytes
// when the origin names none).
bool IsHtml(const FetchResult& fetched);

// A document in UTF-16 or a stateful encoding goes on as UTF-8.
void DecodeDocument(FetchResult& fetched);

// A style sheet in UTF-16 or a stateful encoding goes on as UTF-8.
void DecodeStyleSheet(FetchResult& fetched);

} // namespace zel::service
