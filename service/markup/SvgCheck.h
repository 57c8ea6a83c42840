#pragma once
// Whether a stored SVG file is safe to open on its own: shown as a page (a
// link to it, Back), an SVG runs its scripts and loads what it names. Only
// files plainly free of both are kept; the check errs on the side of leaving
// a picture out.

#include <string_view>

namespace zel::service {

bool IsInertSvg(std::string_view svg);

} // namespace zel::service
