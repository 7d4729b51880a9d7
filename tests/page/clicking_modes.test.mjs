// The clicking modes' controls: settings kept by name go out one at a time through changeSettings,
// a running limit counts down, and the first start tells how to stop, once.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { openPage, typeInto } from './harness.mjs';

test('timing, limit, hotkey mode, modifiers and the fail-safe go out by name', async (t) => {
  const { page, calls } = await openPage(t);
  await page.click('#c-more > summary');
  await typeInto(page, '[data-key="clickPressMs"]', '-1');
  await typeInto(page, '[data-key="clickIntervalMaxMs"]', '250');
  await typeInto(page, '[data-key="clickJitterPx"]', '-3');  // refused: out of range
  await page.click('input[name="clickActivation"][value="1"]');
  await page.click('[data-bit-setting="keySpamModifiers"][value="2"]');
  await page.click('[data-bit-setting="keySpamModifiers"][value="1"]');
  await page.click('[data-named-flag="failSafe"]');
  const sent = (await calls('changeSettings')).map((c) => JSON.parse(c)[0]);
  assert.deepEqual(sent, ['clickIntervalMaxMs=250', 'clickActivation=1', 'keySpamModifiers=2', 'keySpamModifiers=3',
    'failSafe=0']);
  assert.match(await page.textContent('#msg-clickJitterPx'), /from 0 to 1,000/);
  await page.waitForFunction(() => document.getElementById('target-key').textContent === 'Ctrl+Shift+Space');
  if (process.env.RAVELIN_SHOT_DIR) {
    await page.click('#k-more > summary');
    for (const [id, name] of [['#clicker-panel', 'clicking-modes-clicker.png'], ['#keyspam-panel', 'clicking-modes-keyspam.png']]) {
      await page.locator(id).screenshot({ path: path.join(process.env.RAVELIN_SHOT_DIR, name), animations: 'disabled' });
    }
  }
});

test('a time-limited run counts down and the first start says how to stop, once', async (t) => {
  const { page, setState } = await openPage(t);
  await setState((s) => Object.assign(s.status, { autoClicking: true, clicks: 12, clickRate: 10, clickLeft: 3725 }));
  await page.waitForFunction(() => /1:02:05 left$/.test(document.querySelector('#clicker-figures span').textContent));
  assert.equal(await page.textContent('#stop-tip'),
    'Press F6 or push the pointer into the top-left corner to stop.');
  await setState((s) => Object.assign(s.status, { autoClicking: false, lastClicks: 12, clickLeft: -1 }));
  await page.waitForFunction(() => document.getElementById('stop-tip').hidden);
  await setState((s) => Object.assign(s.status, { keySpamming: true }));
  await page.waitForFunction(() => !document.getElementById('keyspam-figures').hidden);
  assert.equal(await page.isVisible('#stop-tip'), false);
});

test('the keys pressed in turn: added through a key capture, taken out one by one', async (t) => {
  const { page, calls, setState } = await openPage(t);
  await setState((s) => { s.settings.keySpamKeys = '66.67'; s.status.keySpamKeys = ['B', 'C']; });
  await page.waitForFunction(() => document.querySelectorAll('#more-keys .keycap').length === 2);
  assert.deepEqual(await page.$$eval('#more-keys .keycap', (e) => e.map((x) => x.textContent)), ['B', 'C']);
  await page.click('#more-key-btn');
  assert.deepEqual((await calls('reassignKey')).map((c) => JSON.parse(c)[0]), ['keyspamaddkey']);
  await setState((s) => { s.status.reassigning = 'keyspamaddkey'; });
  await page.waitForFunction(() => document.querySelector('#more-keys .keycap.waiting') !== null);
  if (process.env.RAVELIN_SHOT_DIR) {
    await page.locator('#keyspam-panel').screenshot({ path: path.join(process.env.RAVELIN_SHOT_DIR, 'key-list-keyspam.png'), animations: 'disabled' });
  }
  await setState((s) => { s.status.reassigning = ''; });
  await page.click('button[aria-label="Take B out of the list"]');
  assert.deepEqual((await calls('changeSettings')).map((c) => JSON.parse(c)[0]), ['keySpamKeys=67']);
  await setState((s) => { s.status.keySpamKeys = ['C']; });
  await page.waitForFunction(() => document.querySelectorAll('#more-keys .keycap').length === 1);
});

test('a hotkey with modifiers shows them, and the hint says they may be held', async (t) => {
  const { page, setState } = await openPage(t);
  await setState((s) => Object.assign(s.status, { hkAuto: 'Ctrl+F6', hkStopAll: '', hkProfile1: '', hkProfile2: '', hkProfile3: '' }));
  await page.waitForFunction(() => document.querySelector('[data-hk="hkAuto"]').textContent === 'Ctrl+F6');
  await page.click('[data-reassign="auto"]');
  await setState((s) => { s.status.reassigning = 'auto'; });
  await page.waitForFunction(() => /with Ctrl, Shift, Alt or Win held/.test(document.getElementById('hk-hint').textContent));
  if (process.env.RAVELIN_SHOT_DIR) {
    await setState((s) => { s.status.reassigning = ''; });
    await page.waitForFunction(() => document.querySelector('[data-hk="hkAuto"]').textContent === 'Ctrl+F6');
    const hotkeys = page.locator('.hk-row').first().locator('xpath=..');
    await hotkeys.screenshot({ path: path.join(process.env.RAVELIN_SHOT_DIR, 'modifier-hotkey.png'), animations: 'disabled' });
  }
});
