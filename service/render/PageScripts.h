#pragma once
// The small scripts the renderer runs in a page.

namespace zel::service {

// Runs before any script of every document: takes away the ways out that
// the service cannot answer for (sockets, peer connections, service
// workers), the browser's closed proxy stopping them anyway; keeps the
// text constructed style sheets are made from for the serializer; and
// notes whether a script watches scrolling.
extern const char* const kGuardScript;

// Scrolls through the page once, a screen at a time, then back to the top,
// so lazy loaders run; a promise, done within about 1.3 s. Through the
// page as it stood: a list that grows as it is scrolled grows once. A page
// where nothing watches scrolling (no scroll listener, intersection
// observer or lazily loaded element) is left where it is.
extern const char* const kScrollScript;

// Waits, 600 ms at most, for the custom elements on the page to be defined
// and to finish rendering (those that tell, as lit's do), and for a frame.
extern const char* const kSettleScript;

// The document as it stands: {html, url, boxes: [{url, width, height}]}.
// Open shadow roots become declarative shadow DOM, canvases images and form
// values attributes; noscript goes (the page ran with scripts).
extern const char* const kSerializeScript;

} // namespace zel::service
