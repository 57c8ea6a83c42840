#pragma once
// The element names, classes and ids a document holds: a style rule that
// needs one it lacks applies to none of its elements.

#include <gumbo.h>

#include <set>
#include <string>
#include <string_view>

namespace zel::service {

class DocumentNames {
public:
    // Adds those of the tree under `root`, templates' content included.
    void Collect(const GumboNode* root);
    // An element the document will hold besides its own.
    void AddElement(std::string_view name);

    // All compared in ASCII lower case: in quirks mode classes and ids match
    // regardless of case, and more matching only keeps more.
    bool HasElement(std::string_view name) const;
    bool HasClass(std::string_view name) const;
    bool HasId(std::string_view name) const;
    // Elements no tree here shows may take the document's style: the clones
    // of another file's SVG parts.
    bool MatchesAnything() const { return anything_; }

private:
    void CollectElement(const GumboElement& element);

    std::set<std::string, std::less<>> elements_;
    std::set<std::string, std::less<>> classes_;
    std::set<std::string, std::less<>> ids_;
    bool anything_ = false;
};

} // namespace zel::service
