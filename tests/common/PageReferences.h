#pragma once
// What an unpacked page refers to among its own files, as the page maker
// writes references (double-quoted attributes and url(...)). The tests of
// page making and the end-to-end tests check that each of them resolves.

#include <string>
#include <vector>

namespace zel::test {

// Every src/href/background/url() value that points into the page's files,
// from a document in `folder` ("" for page.htm, "page.files/" beside it);
// addresses with a scheme and fragments alone are left out.
std::vector<std::string> LocalReferences(const std::string& text, const std::string& folder);

} // namespace zel::test
