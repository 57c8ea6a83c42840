#pragma once
// The small scripts the renderer runs in a page.

namespace zel::service {

// Runs before any script of every document: takes away the ways out that
// the service cannot answer for (sockets, peer connections, service
// workers). The browser's closed proxy stops them anyway.
extern const char* const kGuardScript;

// Scrolls through the page once, a screen at a time, then back to the top,
// so lazy loaders run; a promise, done within about a second.
extern const char* const kScrollScript;

// The document as it stands: {html, url, boxes: [{url, width, height}]}.
// Open shadow roots become declarative shadow DOM, canvases images and form
// values attributes; noscript goes (the page ran with scripts).
extern const char* const kSerializeScript;

} // namespace zel::service
