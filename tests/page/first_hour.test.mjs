// What a first-time user meets: the status line, refused entries and clashes, focus, profile
// rename and delete, the replaced recording, the clicker's start delay and the window's first grow.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { freshState, openPage, typeInto } from './harness.mjs';

test('one status line in the header names everything that runs', async (t) => {
  const { page, setState } = await openPage(t);
  const line = () => page.locator('#bar-state-text').textContent();
  assert.equal(await page.locator('.appbar-status .pill').count(), 1);
  const cases = [
    [{ state: 'Idle', autoClicking: false, keySpamming: false }, 'Idle', 'idle'],
    [{ state: 'Idle', autoClicking: true, keySpamming: false }, 'Clicking', 'live'],
    [{ state: 'Recording', autoClicking: true, keySpamming: true }, 'Recording · Clicking · Key spam', 'recording'],
    [{ state: 'Playing', autoClicking: false, keySpamming: false }, 'Playing', 'playing'],
  ];
  for (const [status, text, word] of cases) {
    await setState((s, a) => Object.assign(s.status, a), status);
    await page.waitForFunction((w) => document.getElementById('bar-state-text').textContent === w, text);
    assert.equal(await page.getAttribute('#bar-state', 'data-state'), word, text);
  }
  assert.equal(await line(), 'Playing');
});

test('what could not be saved stays in view until it is saved', async (t) => {
  const { page, setState } = await openPage(t);
  assert.equal(await page.isHidden('#save-problem'), true);
  const words = 'Could not save: the disk is full — changes are kept in memory and saved when space is free';
  await setState((s, w) => { s.status.saveProblem = w; }, words);
  await page.waitForFunction(() => !document.getElementById('save-problem').hidden);
  assert.equal(await page.textContent('#save-problem'), words);
  assert.equal(await page.getAttribute('#save-problem', 'role'), 'alert');
  await setState((s) => { s.status.saveProblem = ''; });
  await page.waitForFunction(() => document.getElementById('save-problem').hidden);
});

test('a refused entry says why next to the field, and a good one clears it', async (t) => {
  const { page } = await openPage(t);
  await typeInto(page, '[data-key="rptTimes"]', '0');
  const msg = page.locator('#msg-rptTimes');
  await msg.waitFor();
  assert.match(await msg.textContent(), /whole number from 1 to 999,999,999/);
  assert.equal(await page.getAttribute('[data-key="rptTimes"]', 'aria-describedby'), 'msg-rptTimes');
  await typeInto(page, '[data-key="rptTimes"]', '25');
  assert.equal(await msg.isVisible(), false);
  await typeInto(page, '#tspd-input', '11');
  assert.match(await page.locator('#msg-tspd-input').textContent(), /0\.1 to 10/);
});

// Space or Enter chosen as the key to spam also presses the focused Change button when the program
// lets the key go: that press is the chosen key, not a new change; the keyboard works again after.
test('Space chosen as the key to spam does not arm the change again', async (t) => {
  const { page, setState, calls } = await openPage(t);
  await page.click('#target-btn');
  await setState((s) => { s.status.reassigning = 'keyspamtarget'; });
  await page.waitForFunction(() => !document.getElementById('target-hint').hidden);
  await page.focus('#target-btn');
  await page.keyboard.press('Space');
  await setState((s) => { s.status.reassigning = ''; s.status.keySpamTarget = 'Space'; });
  await page.waitForFunction(() => document.getElementById('target-key').textContent === 'Space');
  await page.keyboard.press('Space');
  assert.equal((await calls('reassignKey')).length, 1);
  assert.equal(await page.textContent('#target-btn'), 'Change');
  await page.waitForTimeout(1100);
  await page.keyboard.press('Enter');
  assert.equal((await calls('reassignKey')).length, 2);
});

test('a hotkey clash is refused with the action that has the key', async (t) => {
  const state = freshState();
  const { page, setState, calls } = await openPage(t, { state });
  await page.click('[data-reassign="keyspamhotkey"]');
  await setState((s) => { s.status.reassigning = 'keyspamhotkey'; });
  await page.waitForFunction(() => !document.getElementById('hk-hint').hidden);
  await setState((s) => { s.status.reassigning = ''; s.refusal = { key: 'F6', holder: 'auto' }; });
  await page.waitForFunction(() => !document.getElementById('hk-refused').hidden);
  assert.equal(await page.textContent('#hk-refused'), 'F6 is already the Auto clicker hotkey. Choose another key.');
  assert.equal(await page.isVisible('#target-refused'), false);
  // Arming again takes the message away; the key to spam shows its refusal in its own panel too.
  await page.click('#target-btn');
  assert.equal(await page.isVisible('#hk-refused'), false);
  await setState((s) => { s.status.reassigning = 'keyspamtarget'; s.refusal = null; });
  await page.waitForFunction(() => !document.getElementById('target-hint').hidden);
  await setState((s) => { s.status.reassigning = ''; s.refusal = { key: 'F9', holder: 'keyspamhotkey' }; });
  await page.waitForFunction(() => !document.getElementById('target-refused').hidden);
  assert.equal(await page.textContent('#target-refused'), 'F9 is already the Key spammer hotkey. Choose another key.');
  // An accepted key shows nothing.
  await page.click('#target-btn');
  await setState((s) => { s.status.reassigning = 'keyspamtarget'; s.refusal = null; });
  await page.waitForFunction(() => !document.getElementById('target-hint').hidden);
  await setState((s) => { s.status.reassigning = ''; });
  await page.waitForFunction(() => document.getElementById('target-hint').hidden);
  await page.waitForTimeout(300);
  assert.equal(await page.isVisible('#target-refused'), false);
  assert.ok((await calls('getReassignRefusal')).length >= 2);
});

test('focus stays on the page after confirmations and reset, and Tab always finds a control', async (t) => {
  const { page, waitCall } = await openPage(t);
  const focused = () => page.evaluate(() => document.activeElement && (document.activeElement.id || document.activeElement.tagName));
  await page.click('#reset-all-btn');
  await page.keyboard.press('Tab');  // from Cancel to the confirming button
  await page.keyboard.press('Enter');
  await waitCall('resetEverything', '[]');
  await page.waitForFunction(() => document.activeElement && document.activeElement.id === 'reset-all-btn');
  // Confirm boxes closed with Escape go back to what opened them.
  await page.click('#clear-btn');
  await page.keyboard.press('Escape');
  assert.equal(await focused(), 'clear-btn');
  // With nothing focused, Tab and Shift+Tab land on a control.
  for (const key of ['Tab', 'Shift+Tab']) {
    await page.evaluate(() => document.activeElement.blur());
    assert.equal(await focused(), 'BODY');
    await page.keyboard.press(key);
    assert.notEqual(await focused(), 'BODY', key);
  }
});

test('profiles: any profile renamed or deleted after the same confirmation', async (t) => {
  const state = freshState();
  state.profiles = { current: 0, names: ['A', 'B', 'C'], cap: 3 };
  const { page, waitCall, calls } = await openPage(t, { state });
  await page.waitForFunction(() => document.querySelectorAll('#profile-list .profile').length === 3);
  await page.click('[data-act="rename"][data-index="1"]');
  assert.equal(await page.inputValue('#rename-name'), 'B');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'rename-name');
  for (const bad of ['  ', 'x [y]']) {
    await page.fill('#rename-name', bad);
    await page.press('#rename-name', 'Enter');
    assert.equal(await page.isVisible('#rename-msg'), true, bad);
  }
  assert.deepEqual(await calls('renameProfile'), []);
  await page.fill('#rename-name', '  Farm, run 2 ');
  await page.press('#rename-name', 'Enter');
  await waitCall('renameProfile', '[1,"Farm, run 2"]');
  await page.waitForFunction(() => document.querySelector('#profile-list li:nth-child(2) .pname').textContent === 'Farm, run 2');
  assert.equal(await page.isVisible('#rename-form'), false);
  assert.equal(await page.evaluate(() => document.activeElement.getAttribute('data-act')), 'rename');

  await page.click('[data-act="delete"][data-index="2"]');
  assert.match(await page.textContent('#profile-confirm-text'), /Delete "C"/);
  await page.click('#profile-confirm [data-confirm-no]');
  assert.deepEqual(await calls('deleteProfileAt'), []);
  await page.click('[data-act="delete"][data-index="2"]');
  await page.click('#profile-confirm [data-confirm-yes]');
  await waitCall('deleteProfileAt', '[2]');
  await page.waitForFunction(() => document.querySelectorAll('#profile-list .profile').length === 2);
  // One delete control per profile, and the keyboard is left on the list's active profile.
  assert.equal(await page.locator('#profiles-panel button:visible', { hasText: /^Delete/ }).count(), 2);
  await page.waitForFunction(() => document.activeElement.matches('#profile-list .profile[aria-current="true"]'));
  await page.click('[data-act="delete"][data-index="0"]');
  await page.click('#profile-confirm [data-confirm-yes]');
  await page.waitForFunction(() => document.querySelectorAll('#profile-list .profile').length === 1);
  assert.equal(await page.isDisabled('[data-act="delete"][data-index="0"]'), true);
});

test('the recording a new one replaced can be brought back once', async (t) => {
  const state = freshState();
  const { page, setState, waitCall } = await openPage(t, { state });
  assert.equal(await page.isVisible('#replaced-offer'), false);
  await setState((s) => { s.status.state = 'Recording'; s.status.count = 0; });
  await page.waitForFunction(() => document.getElementById('tracker-state-text').textContent === 'Recording');
  await setState((s) => { s.status.state = 'Idle'; s.status.count = 12; s.replaced = 40; });
  await page.waitForFunction(() => !document.getElementById('replaced-offer').hidden);
  assert.equal(await page.textContent('#replaced-text'), 'The last recording replaced 40 events.');
  assert.equal(await page.textContent('#replaced-btn'), 'Bring them back');
  await page.click('#replaced-btn');
  await waitCall('restoreRecording', '[]');
  await page.waitForFunction(() => document.getElementById('replaced-offer').hidden);
  assert.notEqual(await page.evaluate(() => document.activeElement.tagName), 'BODY');
});

test('the clicker: a start delay counts down visibly, and a wait over this window is explained', async (t) => {
  const state = freshState();
  state.delay = 2;
  const { page, calls, setState, waitCall } = await openPage(t, { state });
  await page.waitForFunction(() => document.getElementById('delay-input').value === '2');
  await page.click('#clicker-toggle');
  assert.equal(await page.isVisible('#clicker-countdown'), true);
  assert.match(await page.textContent('#clicker-toggle-label'), /Starting in 2/);
  assert.deepEqual(await calls('toggleSpammer'), []);
  // Pressing again cancels; no click request is made.
  await page.click('#clicker-toggle');
  assert.equal(await page.isVisible('#clicker-countdown'), false);
  await page.waitForTimeout(2300);
  assert.deepEqual(await calls('toggleSpammer'), []);
  await page.click('#clicker-toggle');
  await page.waitForFunction(() => document.getElementById('clicker-countdown-left').textContent === '1');
  await waitCall('toggleSpammer', '[]');
  await page.waitForFunction(() => document.getElementById('clicker-countdown').hidden);

  await setState((s) => { s.waiting = true; });
  await page.waitForFunction(() => !document.getElementById('clicker-waiting').hidden);
  await setState((s) => { s.waiting = false; });
  await page.waitForFunction(() => document.getElementById('clicker-waiting').hidden);

  // Input the system refuses is said under whatever runs, and only while it runs.
  await setState((s) => { s.status.inputBlocked = true; s.status.keySpamming = true; });
  await page.waitForFunction(() => !document.getElementById('clicker-blocked').hidden &&
    !document.getElementById('keyspam-blocked').hidden);
  assert.match(await page.textContent('#clicker-blocked'), /Input is blocked by the system/);
  await setState((s) => { s.status.keySpamming = false; });
  await page.waitForFunction(() => document.getElementById('keyspam-blocked').hidden);
  await setState((s) => { s.status.inputBlocked = false; });
  await page.waitForFunction(() => document.getElementById('clicker-blocked').hidden);

  // The delay is a whole number of seconds up to 10.
  await typeInto(page, '#delay-input', '11');
  assert.match(await page.textContent('#msg-delay-input'), /0 to 10/);
  await typeInto(page, '#delay-input', '0');
  await waitCall('setClickStartDelay', '[0]');
});

test('main window: the grow to fit is asked again when the window is shown, never after a resize by the user', async (t) => {
  const { page, errors, calls, clearCalls } = await openPage(t, { screen: { width: 1920, height: 1080 } });
  await page.waitForFunction(() => window.__native.calls.some((c) => c.name === 'resizeWindow'));
  const [first] = await calls('resizeWindow');
  assert.match(first, /^\[420,\d+\]$/);
  assert.ok(JSON.parse(first)[1] > 560, `asked ${first}`);

  // The program left the window as it was (minimized then): shown again, the page asks again.
  await clearCalls();
  await page.evaluate(() => window.dispatchEvent(new Event('focus')));
  await page.waitForFunction(() => window.__native.calls.some((c) => c.name === 'resizeWindow'));
  assert.deepEqual(await calls('resizeWindow'), [first]);

  // Once the window has another size, neither a resize nor being shown asks for one.
  await clearCalls();
  await page.setViewportSize({ width: 500, height: 600 });
  await page.evaluate(() => window.dispatchEvent(new Event('focus')));
  await page.waitForTimeout(200);
  assert.deepEqual(await calls('resizeWindow'), []);
  assert.deepEqual(errors, []);
});

test('the page fits the width of its window: no sideways scrolling, even with a long profile name', async (t) => {
  const state = freshState();
  state.profiles = { current: 1, names: ['Default Tracking Profile', 'W'.repeat(40), 'Short'], cap: 3 };
  for (const width of [420, 360]) {
    const { page } = await openPage(t, { state, viewport: { width, height: 560 } });
    const sizes = await page.evaluate(() => [document.documentElement.scrollWidth, document.documentElement.clientWidth]);
    assert.ok(sizes[0] <= sizes[1], `at ${width} px the page is ${sizes[0]} px wide in a ${sizes[1]} px window`);
  }
});

test('a hint that comes and goes keeps its line, so nothing below it moves', async (t) => {
  const { page } = await openPage(t);
  const cases = [
    ['#clicker-fastest', async () => typeInto(page, '[data-key="sms"]', '0'), '#clicker-panel .seg'],
    ['#add-msg', async () => { await page.fill('#add-name', ' '); await page.press('#add-name', 'Enter'); }, '#profiles-panel .panel-body > .actions'],
  ];
  for (const [hint, show, below] of cases) {
    const top = () => page.locator(below).first().evaluate((el) => el.getBoundingClientRect().top + window.scrollY);
    assert.equal(await page.isVisible(hint), false, hint);
    const before = await top();
    await show();
    await page.waitForFunction((h) => !document.querySelector(h).hidden, hint);
    assert.equal(await page.isVisible(hint), true, hint);
    assert.equal(await top(), before, `${below} moved when ${hint} showed`);
  }
});
