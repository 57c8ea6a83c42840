#include "Splice.h"

#include <algorithm>

namespace zel::service {

std::vector<Piece> SpliceToPieces(std::string_view source, std::vector<Edit> edits,
                                  const std::function<std::string(std::string_view)>& escape) {
    // By position; at the same position an insertion goes before a
    // replacement, so that both are kept.
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
        if (a.begin != b.begin)
            return a.begin < b.begin;
        return a.begin == a.end && b.begin != b.end;
    });
    std::vector<Piece> pieces;
    std::size_t done = 0;
    for (Edit& edit : edits) {
        if (edit.begin < done || edit.end < edit.begin || edit.end > source.size())
            continue;
        if (edit.begin > done)
            pieces.push_back({escape(source.substr(done, edit.begin - done))});
        for (Piece& piece : edit.pieces)
            pieces.push_back(std::move(piece));
        done = edit.end;
    }
    if (done < source.size())
        pieces.push_back({escape(source.substr(done))});
    return pieces;
}

std::string ApplyEdits(std::string_view source, std::vector<Edit> edits,
                       const std::function<std::string(int)>& localName) {
    std::string out;
    out.reserve(source.size());
    for (const Piece& piece : SpliceToPieces(source, std::move(edits),
                                             [](std::string_view run) { return std::string(run); }))
        out += piece.resource >= 0 ? localName(piece.resource) : piece.text;
    return out;
}

std::string EscapeAttribute(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace zel::service
