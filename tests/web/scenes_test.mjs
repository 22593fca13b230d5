// The demo's pictures in the browser: flat-colour test pictures, frames at
// chosen seconds of the virtual clock, probed by pixel; the same frames from
// the Linux capture give the same colours; F1 re-creates the window and the
// timeline starts over in it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { promisify } from 'node:util';
import { assertColour, env, flatTga, openPage, useBrowser, zipPack } from './harness.mjs';

useBrowser();

const colours = {
  start: [200, 40, 40], start1: [40, 40, 200], I1: [40, 200, 40], I2: [200, 200, 40],
  I3: [40, 200, 200], I4: [230, 120, 60], I5: [200, 40, 200], I6: [120, 80, 20], I9: [90, 160, 220],
};
// Sides that are not powers of two (WebGL 1 draws such textures only when
// they are clamped), and I3 as a 32-bit picture whose alpha bytes are all 0:
// the demo uploads every picture without alpha, so I3 must still cover what
// is under it where the scenes blend.
const pictures = Object.fromEntries(Object.entries(colours).map(([name, colour]) => [
  `data/${name}.tga`,
  name === 'I3' ? flatTga(3, 2, colour, { bits: 32, alpha: 0 }) : flatTga(3, 2, colour),
]));
const pack = zipPack(pictures);

const mix = (a, b, alpha) => a.map((c, i) => c * (1 - alpha) + b[i] * alpha);
const scale = (a, k) => a.map((c) => c * k);
const clamp01 = (x) => Math.min(1, Math.max(0, x));
const black = [0, 0, 0];
const kFrame = 1 / 60;  // the capture's default frame step

// The centre and a point of the black bar at the side, at moments of the
// timeline, with the colours the scenes must give there; those marked
// `compare` are also captured on Linux. The frame before each is drawn 1/60 s
// earlier, as in the capture's 60 fps sequence.
const centre = [320, 240], side = [5, 240];
const moments = [
  { seconds: 1, scene: 'title fade, second picture still invisible', centre: colours.start, side: black },
  { seconds: 5, compare: true, scene: 'title fade, half way', centre: mix(colours.start, colours.start1, 0.5), side: black },
  { seconds: 14, scene: 'I1 zoom fade, I1 at alpha 0.75 over I2',
    centre: mix(colours.I2, colours.I1, 0.75), side: black },
  { seconds: 15.5, compare: true, scene: 'I2 cross-fade to I3, blended over its own last frame', side: black,
    centre: (() => {
      const a = clamp01((15.5 - 13) / 4), before = clamp01((15.5 - kFrame - 13) / 4);
      return mix(scale(colours.I2, before), colours.I3, a);
    })() },
  { seconds: 25.5, scene: 'still I3 (blending still on)', centre: colours.I3, side: black },
  { seconds: 42.5, compare: true, scene: 'still I5', centre: colours.I5, side: black },
  { seconds: 49.5, compare: true, scene: 'tile grid I6 (the tiles cover the picture)', centre: colours.I6, side: colours.I6 },
  { seconds: 70.5, scene: 'still I9', centre: colours.I9, side: black },
];

async function walkTo(demo, seconds) {
  await demo.walkTo(seconds - kFrame);
  await demo.frameAt(seconds);
}

// The Linux capture's still at `seconds`, as a function from a point to its
// 8-bit RGB colour.
async function captured(dir, seconds) {
  const file = path.join(dir, `still-${seconds}.png`);
  await promisify(execFile)(env.capture, ['--content', dir, '--at', String(seconds), '-o', file]);
  const { stdout } = await promisify(execFile)('convert', [file, '-depth', '8', 'rgb:-'],
                                                { encoding: 'buffer', maxBuffer: 1 << 24 });
  return ([x, y]) => [...stdout.subarray((y * 640 + x) * 3, (y * 640 + x) * 3 + 3)];
}

test('frames at chosen seconds show the scenes, in the colours of the Linux capture', async (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vandrel-web-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  fs.writeFileSync(path.join(dir, 'data.dat'), pack);
  const linux = Object.fromEntries(await Promise.all(moments.filter((m) => m.compare)
    .map(async (m) => [m.seconds, await captured(dir, m.seconds)])));

  const demo = await openPage(t, { query: '?autostart&clock=virtual', files: { 'data.dat': pack } });
  await demo.waitForFrames(1);
  for (const moment of moments) {
    await walkTo(demo, moment.seconds);
    const probes = await demo.probe(centre, side);
    for (const [i, point] of [centre, side].entries()) {
      const where = `${moment.scene}, (${point}) at ${moment.seconds} s`;
      assertColour(probes[i], moment[i ? 'side' : 'centre'], 2, where);
      if (moment.compare) assertColour(probes[i], linux[moment.seconds](point), 3, `${where} against Linux`);
    }
  }
  assert.deepEqual(demo.errors, []);
});

test('F1 re-creates the window in the other mode and the timeline starts over in it', async (t) => {
  const demo = await openPage(t, { query: '?autostart&clock=virtual', files: { 'data.dat': pack } });
  await demo.waitForFrames(1);
  await walkTo(demo, 15.5);
  for (const fullscreen of [true, false]) {
    const switchedAt = demo.seconds;
    await demo.page.evaluate(() => { window.oldContext = document.querySelector('#stage canvas').getContext('webgl'); });
    await demo.hold('F1');
    // The switch is over once the old context is gone and the new window has drawn a frame.
    await demo.page.waitForFunction(() => window.oldContext.isContextLost(), null, { timeout: 60000 });
    await demo.waitForFrames((await demo.framesShown()) + 1);
    assert.equal(await demo.fullscreen(), fullscreen);
    // The new clock's second 0 brings the title fade back, and the scenes go on.
    await walkTo(demo, switchedAt + 5);
    assertColour((await demo.probe(centre))[0], mix(colours.start, colours.start1, 0.5), 2, 'title fade after F1');
    await walkTo(demo, switchedAt + 42.5);
    assertColour((await demo.probe(centre))[0], colours.I5, 2, 'still I5 after F1');
  }
  assert.deepEqual(demo.errors, []);
});
