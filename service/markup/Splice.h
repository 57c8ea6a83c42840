#pragma once
// Rewriting by splicing: a document keeps its own bytes and only the spans
// that change are replaced. A replacement may name a resource whose local
// name is known only once the resource has been fetched.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zel::service {

struct Piece {
    std::string text;  // literal text, or unused when `resource` is set
    int resource = -1; // >= 0: the local address of that resource
};

// Replaces source bytes [begin, end) with the pieces (begin == end inserts).
struct Edit {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::vector<Piece> pieces;
};

// The source cut at the edits into pieces, the unchanged runs passed through
// `escape`. Edits are taken in order of position (insertions first where they
// share one); one that overlaps an earlier one is dropped.
std::vector<Piece> SpliceToPieces(std::string_view source, std::vector<Edit> edits,
                                  const std::function<std::string(std::string_view)>& escape);

// The finished text: the source with the edits applied and every resource
// piece replaced by `localName(resource)`.
std::string ApplyEdits(std::string_view source, std::vector<Edit> edits,
                       const std::function<std::string(int)>& localName);

// Text made safe inside a double-quoted HTML attribute value.
std::string EscapeAttribute(std::string_view text);

} // namespace zel::service
