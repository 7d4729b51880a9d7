// The clicking modes' controls: settings kept by name go out one at a time through changeSettings,
// a running limit counts down, and the first start tells how to stop, once.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { PANEL_BINDINGS, asPanelPage, freshState, openPage, typeInto } from './harness.mjs';

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

test('the sequence editor changes, reorders and deletes points, and picking is told by the status', async (t) => {
  const { page, errors, calls, clearCalls, setState, waitCall } = await openPage(t, { viewport: { width: 420, height: 900 } });
  await page.click('label:has(> input[name="locMode"][value="2"])');
  await waitCall('updateSpammer', '[0,0,0,100,0,0,1,10,2]');
  assert.equal(await page.isVisible('#seq-empty'), true);
  assert.equal(await page.isVisible('#fixed-row'), false);

  await page.click('#seq-pick-btn');
  await waitCall('pickSequence', '[1]');
  await page.waitForFunction(() => !document.getElementById('seq-pick-hint').hidden);
  // Points picked on screen reach the page through the settings; Escape ends the picking.
  await setState((s) => {
    s.settings.clickSequence = '120:340:0:0:100/800:200:0:0:100/400:600:0:0:100';
    s.status.pickingSequence = false;
  });
  await page.waitForFunction(() => document.querySelectorAll('#seq-list li').length === 3);
  await page.waitForFunction(() => document.getElementById('seq-pick-hint').hidden);
  assert.equal(await page.textContent('#seq-pick-btn'), 'Add on screen');
  assert.equal(await page.textContent('#c-count-unit'), 'rounds');

  await clearCalls();
  const row = (n) => `#seq-list li:nth-child(${n})`;
  await page.selectOption(`${row(2)} select[aria-label$="Button"]`, '1');
  await page.selectOption(`${row(3)} select[aria-label$="Click"]`, '1');
  await typeInto(page, `${row(1)} input[aria-label$="milliseconds"]`, '2500');
  await typeInto(page, `${row(1)} input[aria-label$="X"]`, '-5000000');  // refused: off any screen
  await page.click(`${row(3)} button[aria-label$="Move up"]`);
  await page.click(`${row(1)} button[aria-label$="Delete"]`);
  const sent = (await calls('changeSettings')).map((c) => JSON.parse(c)[0]);
  assert.deepEqual(sent, [
    'clickSequence=120:340:0:0:100/800:200:1:0:100/400:600:0:0:100',
    'clickSequence=120:340:0:0:100/800:200:1:0:100/400:600:0:1:100',
    'clickSequence=120:340:0:0:2500/800:200:1:0:100/400:600:0:1:100',
    'clickSequence=120:340:0:0:2500/400:600:0:1:100/800:200:1:0:100',
    'clickSequence=400:600:0:1:100/800:200:1:0:100',
  ]);
  assert.match(await page.textContent('.seq-list .field-msg'), /from -1,000,000 to 1,000,000/);
  assert.equal(await page.getAttribute(`${row(1)} button[aria-label$="Move up"]`, 'aria-label'), 'Point 1: Move up');
  assert.equal(await page.isDisabled(`${row(1)} button[aria-label$="Move up"]`), true);
  assert.equal(await page.textContent('#seq-count'), '2 of 32');
  await page.click('#seq-clear-btn');
  await waitCall('changeSettings', '["clickSequence="]');
  assert.deepEqual(errors, []);
});

test('the sequence editor as it shows (screenshot)', { skip: !process.env.RAVELIN_SHOT_DIR }, async (t) => {
  const { page, setState } = await openPage(t, { viewport: { width: 420, height: 900 } });
  await setState((s) => Object.assign(s.settings, { locMode: 2, clickSequence: '120:340:0:0:250/800:200:1:0:100/400:600:0:1:1000' }));
  await page.waitForFunction(() => document.querySelectorAll('#seq-list li').length === 3);
  await page.locator('#clicker-panel').screenshot({
    path: path.join(process.env.RAVELIN_SHOT_DIR, 'clicking-modes-sequence.png'), animations: 'disabled',
  });
});

test('a panel edits the sequence by name, and says so when the list is too long for the pipe', async (t) => {
  const state = freshState();
  Object.assign(state.settings, { locMode: 2, clickSequence: '10:20:0:0:100/30:40:0:0:100' });
  const { page, calls, errors, setState } = await openPage(t, {
    state, names: PANEL_BINDINGS, html: asPanelPage('midnight', 'clicker-panel'), viewport: { width: 450, height: 700 },
  });
  await page.waitForFunction(() => document.querySelectorAll('#seq-list li').length === 2);
  assert.equal(await page.isVisible('#seq-pick-btn'), false);
  await page.click('#seq-list li:nth-child(2) button[aria-label$="Move up"]');
  await page.waitForFunction(() => window.__native.calls.some((c) => c.name === 'changeSettings'));
  assert.deepEqual(await calls('changeSettings'), ['["clickSequence=30:40:0:0:100/10:20:0:0:100"]']);

  const long = Array.from({ length: 20 }, () => '-1000000:-1000000:2:1:86400000').join('/');
  await setState((s, text) => { s.settings.clickSequence = text; }, long);
  await page.waitForFunction(() => document.querySelectorAll('#seq-list li').length === 20);
  await page.click('#seq-list li:nth-child(1) button[aria-label$="Delete"]');
  assert.match(await page.textContent('#seq-note'), /too long to change from a panel/);
  assert.equal((await calls('changeSettings')).length, 1);
  assert.deepEqual(errors, []);
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
