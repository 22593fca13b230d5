// web_bench: the browser version's size, its start-up time in headless
// Chromium, and the frames per second it reaches there in a few scenes.
//
//   size        every file of the page, as served and gzip-compressed
//   start-up    from navigation to the start button being ready, and with
//               ?autostart to the first frame drawn; the median of --runs
//   frame rate  frames drawn per second of real time while the virtual clock
//               holds a scene (the display's rate, 60, is the ceiling)
//
// Usage (after scripts/test or a native build with the web tests built):
//   node bench/web/web_bench.mjs [--runs N] [--seconds S] [--build DIR]
// The page, content and Playwright are taken from the native build DIR
// (default build/): DIR/web/web/site, DIR/content, DIR/tests/web.
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { parseArgs } from 'node:util';

const { values } = parseArgs({ options: {
  runs: { type: 'string', default: '5' }, seconds: { type: 'string', default: '3' },
  build: { type: 'string', default: 'build' } } });
const build = path.resolve(values.build);
process.env.VANDREL_WEB_SITE ??= path.join(build, 'web/web/site');
process.env.VANDREL_CONTENT_DIR ??= path.join(build, 'content');
process.env.VANDREL_WEB_TEST_MODULES ??= path.join(build, 'tests/web');
const { env, launchChromium, serve } = await import('../../tests/web/harness.mjs');

const kib = (bytes) => (bytes / 1024).toFixed(1).padStart(8) + ' KiB';
console.log('size (as served, gzip -9):');
let total = 0, totalGzip = 0;
for (const [dir, names] of [[env.site, ['index.html', 'page.js', 'vandrel.js', 'vandrel.wasm']],
                            [env.content, ['data.dat', 'DemoFinal.mp3']]]) {
  for (const name of names) {
    const bytes = fs.readFileSync(path.join(dir, name));
    const gzip = zlib.gzipSync(bytes, { level: 9 }).length;
    total += bytes.length;
    totalGzip += gzip;
    console.log(`  ${name.padEnd(14)}${kib(bytes.length)}${kib(gzip)}`);
  }
}
console.log(`  ${'all'.padEnd(14)}${kib(total)}${kib(totalGzip)}`);

const server = await serve();
const url = `http://127.0.0.1:${server.address().port}/`;
const browser = await launchChromium();
const median = (xs) => xs.sort((a, b) => a - b)[Math.floor(xs.length / 2)];

const ready = [], firstFrame = [];
for (let run = 0; run < Number(values.runs); run++) {
  const context = await browser.newContext();
  const page = await context.newPage();
  let start = Date.now();
  await page.goto(url);
  await page.waitForFunction(() => window.vandrelPage && vandrelPage.state === 'title', null, { timeout: 60000 });
  ready.push(Date.now() - start);
  start = Date.now();
  await page.goto(url + '?autostart');
  await page.waitForFunction(() => window.vandrelPage && vandrelPage.framesShown > 0, null, { timeout: 60000 });
  firstFrame.push(Date.now() - start);
  await context.close();
}
console.log(`start-up (median of ${values.runs}): start button ready ${median(ready)} ms, ` +
            `first frame with ?autostart ${median(firstFrame)} ms`);

const context = await browser.newContext({ viewport: { width: 800, height: 600 } });
const page = await context.newPage();
await page.goto(url + '?autostart&clock=virtual');
await page.waitForFunction(() => window.vandrelPage && vandrelPage.framesShown > 0, null, { timeout: 60000 });
console.log(`frame rate (${values.seconds} s of real time per scene):`);
let clock = 0;
for (const [seconds, scene] of [[5, 'title fade'], [15.5, 'cross-fade'], [36, 'rotating I4'],
                                [43, 'still I5'], [49, 'tile grid (100 quads)']]) {
  while (clock < seconds) {  // a frame in every second, so no scene switch is skipped
    clock = Math.min(seconds, Math.floor(clock) + 1);
    await page.evaluate((ms) => { vandrelPage.setClock(ms); return vandrelPage.nextFrame(); }, clock * 1000);
  }
  const before = await page.evaluate(() => vandrelPage.framesShown);
  await page.waitForTimeout(Number(values.seconds) * 1000);
  const after = await page.evaluate(() => vandrelPage.framesShown);
  console.log(`  ${scene.padEnd(24)}${((after - before) / Number(values.seconds)).toFixed(1).padStart(6)} fps`);
}
await browser.close();
server.close();
