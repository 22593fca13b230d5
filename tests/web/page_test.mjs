// The page as a user meets it: the title and its start button, fullscreen
// and its fallback, the keys, message boxes, the soundtrack, and the end
// screen with the exit code.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { openPage, useBrowser } from './harness.mjs';

useBrowser();

for (const start of ['Enter', 'click']) {
  test(`${start} on the title screen starts the demo fullscreen, with no console error`, async (t) => {
    const demo = await openPage(t);
    await demo.waitForState('title');
    assert.equal(await demo.page.textContent('h1'), 'Vandrel');
    if (start === 'Enter') await demo.page.keyboard.press('Enter');
    else await demo.page.click('#start');
    await demo.waitForFrames(10);
    assert.equal(await demo.fullscreen(), true);
    assert.deepEqual(demo.errors, []);
  });
}

test('?autostart starts at once, windowed', async (t) => {
  const demo = await openPage(t, { query: '?autostart' });
  await demo.waitForFrames(10);
  assert.equal(await demo.fullscreen(), false);
  assert.equal(await demo.page.isVisible('#title'), false);
  assert.deepEqual(demo.errors, []);
});

test('the first Escape leaves fullscreen, the next ends the demo with 27', async (t) => {
  const demo = await openPage(t);
  await demo.waitForState('title');
  await demo.page.click('#start');
  await demo.waitForFrames(5);
  await demo.hold('Escape');
  // Leaving takes the browser a while; the demo draws on meanwhile.
  await demo.page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 60000 });
  await demo.waitForFrames((await demo.framesShown()) + 5);
  assert.equal(await demo.state(), 'running');
  await demo.hold('Escape');
  await demo.waitForState('ended');
  assert.equal(await demo.endText(), 'The demo has ended. Exit code: 27');
  assert.equal(await demo.page.locator('#stage canvas').count(), 0);
});

test('while the page is hidden Escape is ignored, as in a minimised window', async (t) => {
  const demo = await openPage(t, { query: '?autostart' });
  await demo.waitForFrames(5);
  const setHidden = (hidden) => demo.page.evaluate((hidden) => {
    Object.defineProperty(document, 'hidden', { configurable: true, get: () => hidden });
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
  await setHidden(true);
  await demo.hold('Escape');
  assert.equal(await demo.state(), 'running');
  await setHidden(false);
  await demo.hold('Escape');
  await demo.waitForState('ended');
  assert.equal(await demo.endText(), 'The demo has ended. Exit code: 27');
});

test('the end of the timeline shows exit code 0, and the demo can be played again', async (t) => {
  const demo = await openPage(t, { query: '?autostart&clock=virtual' });
  await demo.waitForFrames(2);
  await demo.frameAt(60);
  await demo.page.evaluate(() => vandrelPage.setClock(120500));
  await demo.waitForState('ended');
  assert.equal(await demo.endText(), 'The demo has ended. Exit code: 0');
  assert.equal(await demo.page.evaluate(() => vandrelPage.soundtrackPositionMs()), 0);

  const before = await demo.framesShown();
  await demo.page.click('#again');
  await demo.waitForFrames(before + 5);
  assert.equal(await demo.state(), 'running');
  assert.equal(await demo.fullscreen(), true);
  assert.deepEqual(demo.errors, []);
});

test('a missing soundtrack shows "Error: Could not load module" and ends with 1', async (t) => {
  const demo = await openPage(t, { query: '?autostart', files: { 'DemoFinal.mp3': null } });
  assert.deepEqual(await demo.messageBox(),
                   { caption: 'Error', text: 'Error: Could not load module', buttons: ['OK'] });
  assert.equal(await demo.framesShown(), 0);
  await demo.answer('OK');
  await demo.waitForState('ended');
  assert.equal(await demo.endText(), 'The demo has ended. Exit code: 1');
});

for (const [answer, outcome] of [['Yes', 'windowed'], ['No', 'exit code 0']]) {
  test(`fullscreen refused by the page's host: ${answer} gives ${outcome}`, async (t) => {
    const demo = await openPage(t, { headers: { 'Permissions-Policy': 'fullscreen=()' } });
    await demo.waitForState('title');
    await demo.page.click('#start');
    assert.deepEqual(await demo.messageBox(), {
      caption: 'Orv GL',
      text: 'The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?',
      buttons: ['Yes', 'No'],
    });
    await demo.answer(answer);
    if (answer === 'Yes') {
      await demo.waitForFrames(5);
      assert.equal(await demo.fullscreen(), false);
      return;
    }
    assert.deepEqual(await demo.messageBox(),
                     { caption: 'ERROR', text: 'Program Will Now Close.', buttons: ['OK'] });
    await demo.answer('OK');
    await demo.waitForState('ended');
    assert.equal(await demo.endText(), 'The demo has ended. Exit code: 0');
  });
}

test('the soundtrack plays from the first frame on', async (t) => {
  const demo = await openPage(t);
  await demo.waitForState('title');
  await demo.page.click('#start');
  await demo.waitForFrames(1);
  const first = await demo.page.evaluate(() => vandrelPage.soundtrackPositionMs());
  await demo.page.waitForTimeout(1000);
  const later = await demo.page.evaluate(() => vandrelPage.soundtrackPositionMs());
  assert.ok(first < 500, `${first} ms played at the first frame`);
  assert.ok(later - first >= 500 && later - first < 3000, `${later - first} ms played in a second`);
});
