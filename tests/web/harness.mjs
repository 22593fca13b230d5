// What the browser tests share: the page served from loopback, headless
// Chromium driven by Playwright, the page's virtual clock, pixel probes, and
// flat-colour test pictures packed as "data.dat".
//
// The tests run under CTest (label web), which passes the folders through the
// environment: VANDREL_WEB_SITE (the built page), VANDREL_CONTENT_DIR (the
// native build's "data.dat" and "DemoFinal.mp3"), VANDREL_WEB_TEST_MODULES
// (where `npm ci` put Playwright), VANDREL_CAPTURE_PROGRAM (the Linux
// capture, for comparisons).
import { after, before } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';

export const env = {
  site: process.env.VANDREL_WEB_SITE,
  content: process.env.VANDREL_CONTENT_DIR,
  modules: process.env.VANDREL_WEB_TEST_MODULES,
  capture: process.env.VANDREL_CAPTURE_PROGRAM,
  chromium: process.env.VANDREL_CHROMIUM || '/usr/bin/chromium',
};

// ---- the server ----------------------------------------------------------------

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                 '.mp3': 'audio/mpeg' };

// Serves `files` (name -> bytes, or null for 404) first, then the built page,
// then the content. `headers` go with every answer.
export function serve(files = {}, headers = {}) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://loopback').pathname).slice(1) || 'index.html';
    let body = files[name];
    if (body === undefined) {
      for (const dir of [env.site, env.content]) {
        const file = path.join(dir, path.normalize(name));
        if (file.startsWith(dir + path.sep) && fs.existsSync(file) && fs.statSync(file).isFile()) {
          body = fs.readFileSync(file);
          break;
        }
      }
    }
    if (!body) {
      response.writeHead(404, headers);
      response.end();
      return;
    }
    response.writeHead(200, { ...headers, 'content-type': kTypes[path.extname(name)] || 'application/octet-stream' });
    response.end(body);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// ---- the browser -------------------------------------------------------------

// Headless Chromium with software WebGL, as Playwright starts it.
export function launchChromium() {
  const { chromium } = createRequire(path.join(env.modules, 'node_modules') + path.sep)('playwright-core');
  return chromium.launch({
    executablePath: env.chromium,
    args: ['--headless=new', '--no-sandbox', '--use-gl=angle', '--use-angle=swiftshader',
           '--enable-unsafe-swiftshader', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           // As if the user had allowed sound for the page: ?autostart runs
           // play sound too.
           '--autoplay-policy=no-user-gesture-required'],
  });
}

let browser = null;
// Starts Chromium for the test file's tests, and closes it after them.
export function useBrowser() {
  before(async () => { browser = await launchChromium(); });
  after(() => browser && browser.close());
}

// Opens the page in a fresh browser context. `files` and `headers` go to the
// server (see serve). The console's errors and warnings (WebGL reports a
// call it refuses as a warning) and the page's uncaught exceptions are
// collected in `errors`; each test says which it expects.
export async function openPage(t, { query = '', files = {}, headers = {} } = {}) {
  const server = await serve(files, headers);
  const context = await browser.newContext({ viewport: { width: 800, height: 600 } });
  const page = await context.newPage();
  const errors = [];
  page.on('console', (m) => ['error', 'warning'].includes(m.type()) && errors.push(m.text()));
  page.on('pageerror', (error) => errors.push(error.message));
  t.after(async () => {
    await context.close();
    server.close();
  });
  await page.goto(`http://127.0.0.1:${server.address().port}/${query}`);
  return new Demo(page, errors);
}

// ---- the demo in the page ------------------------------------------------------

export class Demo {
  constructor(page, errors) {
    this.page = page;
    this.errors = errors;
    this.seconds = 0;  // the virtual clock (?clock=virtual)
  }

  state() { return this.page.evaluate(() => vandrelPage.state); }
  waitForState(state) {
    return this.page.waitForFunction((s) => vandrelPage.state === s, state, { timeout: 60000 });
  }
  framesShown() { return this.page.evaluate(() => vandrelPage.framesShown); }
  waitForFrames(count) {
    return this.page.waitForFunction((n) => vandrelPage.framesShown >= n, count, { timeout: 60000 });
  }
  fullscreen() { return this.page.evaluate(() => document.fullscreenElement !== null); }
  endText() { return this.page.textContent('#end-text'); }

  // Draws a frame at `seconds` on the virtual clock and waits until it is.
  async frameAt(seconds) {
    this.seconds = seconds;
    await this.page.evaluate((ms) => {
      vandrelPage.setClock(ms);
      return vandrelPage.nextFrame();
    }, seconds * 1000);
  }

  // Moves the virtual clock to `seconds` with a frame in every whole second
  // on the way, so no switch second is skipped, and two frames at `seconds`
  // itself (scenes that blend over their own last frame are then steady).
  async walkTo(seconds) {
    for (let s = Math.floor(this.seconds) + 1; s < Math.floor(seconds); s++) await this.frameAt(s + 0.5);
    await this.frameAt(seconds);
    await this.frameAt(seconds);
  }

  // Holds a key down until the demo has taken it and drawn a frame (or
  // ended) with it down, then lets it go and waits for the next frame: the
  // demo looks at its keys once per frame, as on the desktop, and a press
  // whose release it takes before a frame goes unseen (a loaded machine
  // delivers keys late, so counting frames alone is not enough).
  async hold(key) {
    const running = 'vandrelPage.state !== "running"';
    await this.page.keyboard.down(key);
    await this.page.waitForFunction(`vandrelPage.eventsWaiting === 0 || ${running}`, null, { timeout: 60000 });
    const shown = await this.framesShown();
    const drawnOrEnded = (n) => this.page.waitForFunction(
      (n) => vandrelPage.framesShown >= n || vandrelPage.state !== 'running', n, { timeout: 60000 });
    await drawnOrEnded(shown + 1);
    await this.page.keyboard.up(key);
    await drawnOrEnded(shown + 2);
  }

  // The colours of the last drawn frame at these points of the 640 x 480
  // picture (x from the left, y from the top), as [r, g, b].
  probe(...points) {
    return this.page.evaluate((points) => {
      const canvas = document.querySelector('#stage canvas');
      const gl = canvas.getContext('webgl');
      const pixel = new Uint8Array(4);
      return points.map(([x, y]) => {
        gl.readPixels(x, canvas.height - 1 - y, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
        return [pixel[0], pixel[1], pixel[2]];
      });
    }, points);
  }

  // The message box: waits for it and returns its caption, text and buttons.
  async messageBox() {
    await this.page.waitForSelector('#box[open]', { timeout: 60000 });
    return this.page.evaluate(() => ({
      caption: document.getElementById('box-caption').textContent,
      text: document.getElementById('box-text').textContent,
      buttons: [...document.querySelectorAll('#box button:not([hidden])')].map((b) => b.textContent),
    }));
  }
  async answer(button) {
    await this.page.click(`#box button:not([hidden]):text-is("${button}")`);
  }
}

export function assertColour(actual, expected, tolerance, what) {
  assert.ok(actual.every((c, i) => Math.abs(c - expected[i]) <= tolerance),
            `${what}: (${actual}) where (${expected.map((c) => Math.round(c))}) was expected`);
}

// ---- test pictures -------------------------------------------------------------

// A flat picture as an uncompressed TGA (bottom row first, blue-green-red),
// 24 bits, or 32 with every alpha byte `alpha`.
export function flatTga(width, height, [r, g, b], { bits = 24, alpha = 255 } = {}) {
  const header = Buffer.from([0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              width & 255, width >> 8, height & 255, height >> 8, bits, 0]);
  const pixel = bits === 32 ? [b, g, r, alpha] : [b, g, r];
  return Buffer.concat([header, Buffer.from(Array(width * height).fill(pixel).flat())]);
}

// A ZIP pack of `files` (name -> bytes), written by Python's zipfile (Python
// comes with Emscripten).
export function zipPack(files) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vandrel-pack-'));
  try {
    for (const [name, data] of Object.entries(files)) {
      fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
      fs.writeFileSync(path.join(dir, name), data);
    }
    execFileSync('python3', ['-c', 'import sys, zipfile\nwith zipfile.ZipFile("pack.zip", "w") as z:\n'
                             + '    for name in sys.argv[1:]: z.write(name)', ...Object.keys(files)], { cwd: dir });
    return fs.readFileSync(path.join(dir, 'pack.zip'));
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}
