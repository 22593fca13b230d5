// The C calls of web_page.h, linked into the module with --js-library. They
// forward to the page object that web/page.js hands to the module as
// Module.page; only the canvas's GL context is made here, since that needs
// Emscripten's own GL bookkeeping. The calls that wait use Asyncify and are
// listed in the program's ASYNCIFY_IMPORTS.
mergeInto(LibraryManager.library, {
  WebPageNowMs: function() {
    return Module['page'].now();
  },

  WebPageCreateGLContext__deps: ['$Browser', '$GL'],
  WebPageCreateGLContext: function() {
    // Browser.createContext reuses the context it made for Module.canvas,
    // so the old one is forgotten first; the new canvas gets a context of
    // its own, and the GL 1.1 emulation sets itself up for it (its
    // matrices, current colour and buffers start afresh).
    Module.ctx = null;
    var canvas = Module['page'].newCanvas();
    Module['canvas'] = canvas;
    var context = Browser.createContext(canvas, /*useWebGL=*/true, /*setInModule=*/true, {
      majorVersion: 1,
      depth: true,
      stencil: false,
      alpha: false,
      antialias: false,
      // The last frame stays readable after it is shown (the tests' probes
      // read it; the empty scene shows it on, as a desktop's buffer swap
      // does).
      preserveDrawingBuffer: true,
    });
    return context ? 1 : 0;
  },

  WebPageDestroyGLContext__deps: ['$GL'],
  WebPageDestroyGLContext: function() {
    if (GL.currentContext) {
      var handle = GL.currentContext.handle;
      var lose = GLctx.getExtension('WEBGL_lose_context');
      GL.makeContextCurrent(0);
      GL.deleteContext(handle);
      // Frees its textures and buffers now rather than when the collector
      // comes by.
      if (lose) lose.loseContext();
    }
    Module.ctx = null;
    Module['page'].removeCanvas();
  },

  WebPagePresent: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['page'].present().then(function() { wakeUp(0); });
    });
  },

  WebPageEnterFullscreen: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['page'].enterFullscreen().then(function(entered) { wakeUp(entered ? 1 : 0); });
    });
  },

  WebPageLeaveFullscreen: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['page'].leaveFullscreen().then(function() { wakeUp(0); });
    });
  },

  WebPageMessageBox: function(text, caption, buttons) {
    var textString = UTF8ToString(text);
    var captionString = caption ? UTF8ToString(caption) : null;
    return Asyncify.handleSleep(function(wakeUp) {
      Module['page'].messageBox(textString, captionString, buttons === 1).then(function(answer) {
        wakeUp(answer);
      });
    });
  },

  WebPagePollEvent: function(event) {
    var next = Module['page'].nextEvent();
    if (!next) return 0;
    HEAP32[event >> 2] = next.kind;
    HEAP32[(event >> 2) + 1] = next.code;
    return 1;
  },

  WebPageStartsFullscreen: function() {
    return Module['page'].startsFullscreen ? 1 : 0;
  },

  WebPageOpenSoundtrack: function(name) {
    var nameString = UTF8ToString(name);
    return Asyncify.handleSleep(function(wakeUp) {
      Module['page'].openSoundtrack(nameString).then(function(opened) { wakeUp(opened ? 1 : 0); });
    });
  },

  WebPagePlaySoundtrack: function(loop) {
    Module['page'].playSoundtrack(loop !== 0);
  },

  WebPageSoundtrackPositionMs: function() {
    return Module['page'].soundtrackPositionMs();
  },
});
