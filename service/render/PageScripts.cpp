#include "PageScripts.h"

namespace zel::service {

const char* const kGuardScript = R"JS(
(() => {
  for (const name of ['WebSocket', 'WebTransport', 'RTCPeerConnection',
                      'webkitRTCPeerConnection', 'RTCDataChannel'])
    try { delete window[name]; } catch (e) {}
  try { delete Navigator.prototype.serviceWorker; } catch (e) {}
  // The text constructed style sheets were made from, for the serializer;
  // a sheet changed rule by rule afterwards is read from its rules.
  const texts = new WeakMap();
  Object.defineProperty(window, '__zelSheetText', {value: texts});
  const sheet = CSSStyleSheet.prototype;
  const replaceSync = sheet.replaceSync, replace = sheet.replace;
  const insertRule = sheet.insertRule, deleteRule = sheet.deleteRule;
  sheet.replaceSync = function(text) {
    replaceSync.call(this, text);
    texts.set(this, String(text));
  };
  sheet.replace = function(text) {
    texts.set(this, String(text));
    return replace.call(this, text);
  };
  sheet.insertRule = function(...rest) {
    texts.delete(this);
    return insertRule.apply(this, rest);
  };
  sheet.deleteRule = function(...rest) {
    texts.delete(this);
    return deleteRule.apply(this, rest);
  };
  // Whether a script watches scrolling (a lazy loader may): only then is
  // the page scrolled through, which costs more than a second.
  let watched = false;
  Object.defineProperty(window, '__zelScrollWatched', {value: () => watched});
  const listen = EventTarget.prototype.addEventListener;
  EventTarget.prototype.addEventListener = function(type, ...rest) {
    if (type === 'scroll' || type === 'scrollend') watched = true;
    return listen.call(this, type, ...rest);
  };
  if (window.IntersectionObserver) {
    const observe = IntersectionObserver.prototype.observe;
    IntersectionObserver.prototype.observe = function(...rest) {
      watched = true;
      return observe.apply(this, rest);
    };
  }
})();
)JS";

const char* const kScrollScript = R"JS(
(async () => {
  const end = performance.now() + 1000;
  const step = Math.max(200, innerHeight);
  const pause = () => new Promise(done => setTimeout(done, 40));
  const bottom = document.documentElement.scrollHeight;
  // Images the browser loads lazily, scroll handlers set as properties or
  // attributes, and whatever the guard saw listen.
  const watched = window.__zelScrollWatched?.() || window.onscroll || document.onscroll ||
                  document.querySelector('[loading=lazy i], [onscroll]');
  if (!watched || bottom <= innerHeight) return;
  for (let y = step; y < bottom && performance.now() < end; y += step) {
    scrollTo(0, y);
    await pause();
  }
  // Scroll handlers are often throttled to a few hundred milliseconds and
  // look at where the page stands then: the end is held that long.
  await new Promise(done => setTimeout(done, 300));
  scrollTo(0, 0);
  await pause();
})()
)JS";

const char* const kSettleScript = R"JS(
(async () => {
  const late = new Promise(done => setTimeout(done, 600));
  const elements = () => {
    const found = [];
    const walk = root => {
      for (const e of root.querySelectorAll('*')) {
        found.push(e);
        if (e.shadowRoot) walk(e.shadowRoot);
      }
    };
    walk(document);
    return found;
  };
  const tags = new Set(elements().map(e => e.localName)
                                 .filter(tag => tag.includes('-') && !customElements.get(tag)));
  await Promise.race([late, Promise.all([...tags].map(tag => customElements.whenDefined(tag)))]);
  const updates = elements().map(e => e.updateComplete).filter(u => u instanceof Promise);
  await Promise.race([late, Promise.allSettled(updates)]);
  await Promise.race([late, new Promise(done => requestAnimationFrame(() => setTimeout(done)))]);
})()
)JS";

const char* const kSerializeScript = R"JS(
(() => {
  const voids = new Set(['area', 'base', 'br', 'col', 'embed', 'hr', 'img', 'input', 'link',
                         'meta', 'param', 'source', 'track', 'wbr']);
  const raw = new Set(['script', 'style', 'xmp', 'noembed', 'noframes', 'plaintext']);
  const dropped = new Set(['noscript']);
  const boxes = [];
  const text = s => s.replace(/[&<>\u00a0]/g,
      c => ({'&': '&amp;', '<': '&lt;', '>': '&gt;', '\u00a0': '&nbsp;'})[c]);
  const quoted = s => s.replace(/[&"\u00a0]/g,
      c => ({'&': '&amp;', '"': '&quot;', '\u00a0': '&nbsp;'})[c]);

  // An image as the browser showed it: the candidate it chose alone (nothing
  // else of its srcset, sizes or lazy loader's addresses is fetched), and
  // the width it was laid out at written where the element sets none, since
  // the copy may have fewer pixels, and no srcset that gave them CSS pixels.
  const shownImage = (e, list) => {
    const style = getComputedStyle(e);
    const width = parseFloat(style.width) || 0, height = parseFloat(style.height) || 0;
    boxes.push({url: e.currentSrc, width, height});
    for (const name of ['srcset', 'sizes', 'data-src', 'data-srcset', 'data-lazy-src',
                        'data-lazy-srcset', 'data-original'])
      list.delete(name);
    list.set('src', e.currentSrc);
    if (!list.has('width') && width >= 1) list.set('width', String(Math.round(width)));
  };

  // Attributes as they stand, with what the user or a script typed in.
  const attributes = e => {
    const list = new Map();
    for (const a of e.attributes) list.set(a.name, a.value);
    const tag = e.localName;
    if (tag === 'img' && e.currentSrc) shownImage(e, list);
    if (tag === 'input' && e.type !== 'password' && e.type !== 'file') {
      if (e.type === 'checkbox' || e.type === 'radio') {
        if (e.checked) list.set('checked', ''); else list.delete('checked');
      } else {
        list.set('value', e.value);
      }
    }
    if (tag === 'option') {
      if (e.selected) list.set('selected', ''); else list.delete('selected');
    }
    let out = '';
    for (const [name, value] of list) out += ' ' + name + '="' + quoted(value) + '"';
    return out;
  };

  // Style sheets a script made (constructed, as web components use) belong
  // to no element: they are written out as style elements.
  // Their text as the script gave it where it is known: Chromium writes a
  // shorthand holding var() that a later longhand overrides as longhands
  // with empty values ("border-top-color: ;"), which lose the declaration.
  const adopted = root => {
    let css = '';
    for (const sheet of root.adoptedStyleSheets || [])
      try {
        const given = window.__zelSheetText && window.__zelSheetText.get(sheet);
        if (given !== undefined) css += given + '\n';
        else for (const rule of sheet.cssRules) css += rule.cssText + '\n';
      } catch (error) {}
    return css ? '<style>' + css.replace(/<\/style/gi, '<\\/style') + '</style>' : '';
  };

  const canvasImage = e => {
    try {
      return '<img' + attributes(e) + ' src="' + e.toDataURL() + '">';
    } catch (error) {
      return null; // drawn from another origin: left as it is
    }
  };

  const children = (parent, rawText) => {
    let out = '';
    for (let n = parent.firstChild; n; n = n.nextSibling) out += node(n, rawText);
    return out;
  };

  const element = e => {
    const tag = e.localName;
    if (dropped.has(tag)) return '';
    // The document is saved as UTF-8, whatever it came in.
    if (tag === 'meta' && (e.hasAttribute('charset') || /^content-type$/i.test(e.httpEquiv)))
      return '';
    if (tag === 'canvas') {
      const image = canvasImage(e);
      if (image) return image;
    }
    let out = '<' + tag + attributes(e) + '>';
    if (voids.has(tag)) return out;
    if (e.shadowRoot)
      out += '<template shadowrootmode="open">' + adopted(e.shadowRoot) +
             children(e.shadowRoot, false) + '</template>';
    if (tag === 'template') out += children(e.content, false);
    else if (tag === 'textarea') out += text(e.value);
    else out += children(e, raw.has(tag));
    if (tag === 'head') out += adopted(document);
    return out + '</' + tag + '>';
  };

  const node = (n, rawText) => {
    switch (n.nodeType) {
      case Node.ELEMENT_NODE: return element(n);
      case Node.TEXT_NODE: return rawText ? n.data : text(n.data);
      case Node.DOCUMENT_TYPE_NODE: return '<!DOCTYPE ' + n.name + '>';
      default: return '';
    }
  };

  return {html: children(document, false), url: location.href, boxes};
})()
)JS";

} // namespace zel::service
