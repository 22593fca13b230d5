// The page that shows the demo: title screen, the demo in a canvas, message
// boxes as a modal dialog, the end screen. It loads the program (vandrel.js,
// vandrel.wasm), the pictures ("data.dat") and the soundtrack
// ("DemoFinal.mp3") while the title shows, and starts a fresh instance of
// the program for every play.
//
// The program reaches the page through `bridge` (Module.page; the C side is
// platform/web/include/platform/web/web_page.h). URL parameters:
//   ?autostart      start at once, windowed (kiosks, tests); sound plays if
//                   the browser allows it without a click
//   ?clock=virtual  the program's clock stands still until window.vandrelPage
//                   .setClock(ms) moves it (tests take frames at chosen times)
'use strict';

(function () {
  const params = new URLSearchParams(location.search);
  const autostart = params.has('autostart');
  const virtualClock = params.get('clock') === 'virtual';

  const $ = (id) => document.getElementById(id);
  const titleScreen = $('title'), startButton = $('start'), stage = $('stage');
  const endScreen = $('end'), endText = $('end-text'), againButton = $('again');
  const box = $('box');

  // 'loading', 'title', 'running' or 'ended'.
  let state = 'loading';
  let fullscreenWanted = !autostart;

  // ---- clock ---------------------------------------------------------------
  let virtualNow = 0;
  const now = () => (virtualClock ? virtualNow : performance.now());

  // ---- frames --------------------------------------------------------------
  let framesShown = 0;
  let frameWaiters = [];
  function present() {
    // Called once a frame is drawn; the drawing shows when this animation
    // frame's turn is over.
    framesShown++;
    const waiters = frameWaiters;
    frameWaiters = [];
    waiters.forEach((resolve) => resolve(framesShown));
    return new Promise((resolve) => requestAnimationFrame(() => resolve()));
  }

  // ---- canvas and fullscreen -------------------------------------------------
  function removeCanvas() {
    stage.replaceChildren();
  }
  function newCanvas() {
    const canvas = document.createElement('canvas');
    canvas.width = 640;
    canvas.height = 480;
    // A right click or a drag on the picture does nothing.
    canvas.addEventListener('contextmenu', (e) => e.preventDefault());
    stage.replaceChildren(canvas);
    return canvas;
  }
  // The browser may settle a fullscreen request or exit before the page is
  // shown in its new mode (a loaded machine takes frames to get there); the
  // program goes on only once it is, as a desktop's mode switch returns
  // with the display switched.
  function fullscreenSettled(wanted) {
    if ((document.fullscreenElement !== null) === wanted) return Promise.resolve(wanted);
    return new Promise((resolve) => {
      const settle = () => {
        document.removeEventListener('fullscreenchange', settle);
        document.removeEventListener('fullscreenerror', settle);
        resolve(document.fullscreenElement !== null);
      };
      document.addEventListener('fullscreenchange', settle);
      document.addEventListener('fullscreenerror', settle);
    });
  }
  function enterFullscreen() {
    if (!stage.requestFullscreen) return Promise.resolve(false);
    return stage.requestFullscreen({ navigationUI: 'hide' })
      .then(() => fullscreenSettled(true), () => false);
  }
  function leaveFullscreen() {
    if (!document.fullscreenElement) return Promise.resolve();
    return document.exitFullscreen().then(() => fullscreenSettled(false), () => {});
  }

  // ---- message boxes -----------------------------------------------------------
  const kOk = 1, kYes = 6, kNo = 7;
  function messageBox(text, caption, yesNo) {
    $('box-caption').textContent = caption === null ? 'Error' : caption;
    $('box-text').textContent = text;
    $('box-ok').hidden = yesNo;
    $('box-yes').hidden = !yesNo;
    $('box-no').hidden = !yesNo;
    return new Promise((resolve) => {
      const answer = (value) => () => {
        box.close();
        box.oncancel = null;
        $('box-ok').onclick = $('box-yes').onclick = $('box-no').onclick = null;
        resolve(value);
      };
      $('box-ok').onclick = answer(kOk);
      $('box-yes').onclick = answer(kYes);
      $('box-no').onclick = answer(kNo);
      // Escape closes an OK box as its OK; a Yes/No box needs an answer.
      box.oncancel = (e) => {
        e.preventDefault();
        if (!yesNo) answer(kOk)();
      };
      box.showModal();
      (yesNo ? $('box-yes') : $('box-ok')).focus();
    });
  }

  // ---- keys ----------------------------------------------------------------
  // KeyboardEvent.code to the demo's virtual-key codes; other keys are not
  // passed on.
  const keyCodes = {
    Escape: 27, Enter: 13, Space: 32, Tab: 9, Backspace: 8,
    ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40,
    ShiftLeft: 16, ShiftRight: 16, ControlLeft: 17, ControlRight: 17, AltLeft: 18, AltRight: 18,
  };
  for (let i = 1; i <= 12; i++) keyCodes['F' + i] = 111 + i;
  for (let i = 0; i <= 9; i++) keyCodes['Digit' + i] = 48 + i;
  for (let i = 0; i < 26; i++) keyCodes['Key' + String.fromCharCode(65 + i)] = 65 + i;

  const kKeyDown = 1, kKeyUp = 2, kActivate = 3;
  let events = [];
  function onKey(e) {
    if (state === 'title' && e.type === 'keydown' && e.code === 'Enter' && !startButton.disabled) {
      e.preventDefault();
      play();
      return;
    }
    if (state === 'ended' && e.type === 'keydown' && e.code === 'Enter') {
      e.preventDefault();
      play();
      return;
    }
    if (state !== 'running' || box.open) return;
    const code = keyCodes[e.code];
    if (code === undefined) return;
    // The first Escape in fullscreen only leaves fullscreen, as the browser
    // itself does where it sees the key first; the next one reaches the demo.
    if (e.type === 'keydown' && code === 27 && document.fullscreenElement) {
      e.preventDefault();
      leaveFullscreen();
      return;
    }
    // F1 would open the browser's help.
    if (code === 27 || code === 112) e.preventDefault();
    events.push({ kind: e.type === 'keydown' ? kKeyDown : kKeyUp, code });
  }
  document.addEventListener('keydown', onKey);
  document.addEventListener('keyup', onKey);
  document.addEventListener('visibilitychange', () => {
    if (state === 'running') events.push({ kind: kActivate, code: document.hidden ? 1 : 0 });
  });

  // ---- soundtrack ----------------------------------------------------------------
  // An audio element streams and decodes it as it plays, so the demo can
  // start before the whole file has arrived.
  const tracks = new Map();  // file name -> Promise of an audio element, or null
  function load(name) {
    if (!tracks.has(name)) {
      tracks.set(name, new Promise((resolve) => {
        const element = new Audio();
        element.preload = 'auto';
        element.addEventListener('canplay', () => resolve(element), { once: true });
        element.addEventListener('error', () => resolve(null), { once: true });
        element.src = name;
      }));
    }
    return tracks.get(name);
  }
  let soundtrack = null;  // { element, playing } of this play
  function openSoundtrack(name) {
    return load(name).then((element) => {
      soundtrack = element ? { element, playing: false } : null;
      return element !== null;
    });
  }
  function playSoundtrack(loop) {
    if (!soundtrack || soundtrack.playing) return;
    soundtrack.playing = true;
    soundtrack.element.loop = loop;
    soundtrack.element.currentTime = 0;
    // Refused where the browser wants a click first; the demo plays on silent.
    soundtrack.element.play().catch(() => {});
  }
  function soundtrackPositionMs() {
    return soundtrack && soundtrack.playing ? Math.floor(soundtrack.element.currentTime * 1000) : 0;
  }
  function stopSoundtrack() {
    if (soundtrack) soundtrack.element.pause();
    soundtrack = null;
  }

  // ---- the program ------------------------------------------------------------
  const bridge = {
    get startsFullscreen() { return fullscreenWanted; },
    now, present, newCanvas, removeCanvas, enterFullscreen, leaveFullscreen, messageBox,
    nextEvent: () => events.shift() || null,
    openSoundtrack, playSoundtrack, soundtrackPositionMs,
  };

  // Compiled once; every play instantiates it afresh, so each starts from the
  // program's initial state.
  const compiled = fetch('vandrel.wasm').then((response) => {
    if (!response.ok) throw new Error('vandrel.wasm: ' + response.status);
    return response.arrayBuffer();
  }).then((bytes) => WebAssembly.compile(bytes));
  const pictures = fetch('data.dat')
    .then((response) => (response.ok ? response.arrayBuffer() : null))
    .catch(() => null);
  load('DemoFinal.mp3');

  let ended = null;  // resolves the current play with its exit code
  function instantiate() {
    return new Promise((resolve, reject) => {
      createVandrel({
        page: bridge,
        instantiateWasm: (imports, receive) => {
          compiled.then((module) => WebAssembly.instantiate(module, imports))
            .then((instance) => receive(instance), reject);
          return {};
        },
        onAbort: (what) => ended && ended('stopped: ' + what),
        print: (text) => console.log(text),
        // Not the GL emulation's banners, which every start would print.
        printErr: (text) => text.startsWith('WARNING: using emscripten GL') || console.warn(text),
      }).then(resolve, reject);
    });
  }
  let next = null;  // the instance for the next play

  async function play() {
    if (state !== 'title' && state !== 'ended') return;
    state = 'running';
    titleScreen.hidden = true;
    endScreen.hidden = true;
    stage.hidden = false;
    events = [];
    const program = await next;
    next = null;
    const bytes = await pictures;
    if (bytes) program.FS.writeFile('data.dat', new Uint8Array(bytes));
    const code = await new Promise((resolve) => {
      ended = resolve;
      program.ccall('main', 'number', [], [], { async: true }).then(resolve, (error) => {
        // The process exit (the end of the timeline) unwinds the program.
        if (error && error.name === 'ExitStatus') resolve(error.status);
        else resolve('stopped: ' + error);
      });
    });
    ended = null;
    finish(code);
  }

  function finish(code) {
    state = 'ended';
    stopSoundtrack();
    leaveFullscreen();
    removeCanvas();
    if (box.open) box.close();
    stage.hidden = true;
    endText.textContent = typeof code === 'number'
      ? 'The demo has ended. Exit code: ' + code
      : 'The demo ' + code;
    endScreen.hidden = false;
    // Played again from the start button's own mode: fullscreen after a click.
    fullscreenWanted = true;
    next = instantiate();
    againButton.focus();
  }

  startButton.addEventListener('click', play);
  againButton.addEventListener('click', play);

  // ---- tests and the curious -----------------------------------------------------
  window.vandrelPage = {
    get state() { return state; },
    get framesShown() { return framesShown; },
    // Keys and other events queued for the demo and not yet taken.
    get eventsWaiting() { return events.length; },
    // Resolves once the next frame has been drawn.
    nextFrame: () => new Promise((resolve) => frameWaiters.push(resolve)),
    setClock(ms) {
      if (!virtualClock) throw new Error('the page runs on the real clock (add ?clock=virtual)');
      virtualNow = Math.max(virtualNow, ms);
    },
    soundtrackPositionMs,
  };

  next = instantiate();
  Promise.all([next, compiled]).then(() => {
    state = 'title';
    startButton.disabled = false;
    startButton.textContent = 'Start';
    startButton.focus();
    if (autostart) play();
  }, (error) => {
    startButton.textContent = 'Cannot load the demo';
    console.error(error);
  });
})();
