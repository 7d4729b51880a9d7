// The main window's page: settings, profiles, reset, popped-out panels, and a page with no bindings.
// Run: node --test tests/page/
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { SETTINGS_TABLE, freshState, openPage, typeInto } from './harness.mjs';

test('setting controls send the nine and six integer fields', async (t) => {
  const { page, errors, calls, waitCall } = await openPage(t);
  await typeInto(page, '[data-key="sms"]', '250');
  await waitCall('updateSpammer', '[0,0,0,250,0,0,1,10,0]');
  await page.click('label:has(> input[name="sbtn"][value="1"])');
  await waitCall('updateSpammer', '[0,0,0,250,1,0,1,10,0]');
  await page.click('label:has(> input[name="stype"][value="1"])');
  await page.click('label:has(> input[name="rptMode"][value="0"])');
  await typeInto(page, '[data-key="rptTimes"]', ' 25 ');
  await page.click('label:has(> input[name="locMode"][value="1"])');
  await waitCall('updateSpammer', '[0,0,0,250,1,1,0,25,1]');
  assert.equal(await page.inputValue('[data-key="rptTimes"]'), '25');

  await typeInto(page, '[data-key="kss"]', '2');
  await page.click('label:has(> input[name="ksRptMode"][value="0"])');
  await typeInto(page, '[data-key="ksRptTimes"]', '3');
  await waitCall('updateKeySpam', '[0,0,2,100,0,3]');

  for (const json of await calls('updateSpammer')) {
    const a = JSON.parse(json);
    assert.equal(a.length, 9, json);
    assert.ok(a.every(Number.isInteger), json);
  }
  for (const json of await calls('updateKeySpam')) {
    const a = JSON.parse(json);
    assert.equal(a.length, 6, json);
    assert.ok(a.every(Number.isInteger), json);
  }
  assert.deepEqual(errors, []);
});

test('bad number input is refused and the last good value shown again', async (t) => {
  const { page, calls, waitCall } = await openPage(t);
  for (const bad of ['', 'abc', '-5', '1.5', '12px', '99999999999', '1e3']) {
    await typeInto(page, '[data-key="sms"]', bad);
    assert.equal(await page.inputValue('[data-key="sms"]'), '100', `after "${bad}"`);
  }
  await typeInto(page, '[data-key="rptTimes"]', '0');
  assert.equal(await page.inputValue('[data-key="rptTimes"]'), '10');
  await typeInto(page, '[data-key="ksms"]', 'NaN');
  assert.equal(await page.inputValue('[data-key="ksms"]'), '100');
  assert.deepEqual(await calls('updateSpammer'), []);
  assert.deepEqual(await calls('updateKeySpam'), []);

  // Arrow keys step the value and send it.
  await page.focus('[data-key="ss"]');
  await page.keyboard.press('ArrowUp');
  await waitCall('updateSpammer', '[0,0,1,100,0,0,1,10,0]');
});

test('buttons call their bindings with the documented arguments', async (t) => {
  const { page, waitCall, text, setState } = await openPage(t);
  await page.click('#clicker-toggle');
  await waitCall('toggleSpammer', '[]');
  await page.click('#keyspam-toggle');
  await waitCall('toggleKeySpam', '[]');

  await page.click('#pick-btn');
  await waitCall('pickLocation', '[]');
  assert.equal(await page.isVisible('#pick-hint'), true);
  // The next left click anywhere becomes the fixed point: the page sees it in the settings.
  await setState((s) => { Object.assign(s.settings, { fixedX: 640, fixedY: 360, locMode: 1 }); });
  await page.waitForFunction(() => document.getElementById('pick-hint').hidden);
  assert.equal(await text('#fixed-xy'), 'X 640, Y 360');
  assert.equal(await page.isChecked('input[name="locMode"][value="1"]'), true);

  for (const word of ['rec', 'play', 'auto', 'keyspamhotkey', 'keyspamtarget']) {
    await page.click(`.hk-row [data-reassign="${word}"]`);
    await waitCall('reassignKey', JSON.stringify([word]));
  }
  await page.click('#target-btn');
  await page.click('#reset-hotkeys');
  await waitCall('resetHotkeys', '[]');
});

test('preference switches send 1 or 0, never true or false', async (t) => {
  const { page, calls, waitCall } = await openPage(t);
  // The switches are the program's preferences, one each.
  const switches = await page.$$eval('input[data-pref]', (inputs) => inputs.map((i) => i.getAttribute('data-pref')));
  const preferences = SETTINGS_TABLE.filter((s) => s.group === 'preference').map((s) => s.name);
  assert.deepEqual(switches.sort(), preferences.sort());
  await page.click('label:has(> input[data-pref="alwaysOnTop"])');
  await waitCall('setAppSetting', '["alwaysOnTop",1]');
  await page.click('label:has(> input[data-pref="alwaysOnTop"])');
  await waitCall('setAppSetting', '["alwaysOnTop",0]');
  await page.click('label:has(> input[data-pref="hotkeysEnabled"])');
  await waitCall('setAppSetting', '["hotkeysEnabled",0]');
  await page.waitForFunction(() => !document.getElementById('hk-off').hidden);
  await page.click('label:has(> input[data-pref="disableAnimations"])');
  await page.waitForFunction(() => document.documentElement.classList.contains('no-anim'));
  for (const json of await calls('setAppSetting')) assert.match(json, /^\["\w+",[01]\]$/);

  await page.selectOption('#theme-select', 'paper');
  assert.equal(await page.getAttribute('html', 'data-theme'), 'paper');
});

test('an idle page reads the status seldom, and at once when the program tells it of a change', async (t) => {
  const { page, setState, clearCalls, calls } = await openPage(t);
  await page.waitForTimeout(500);
  await clearCalls();
  await page.waitForTimeout(3000);
  const idleReads = (await calls('getTrackerStatus')).length;
  assert.ok(idleReads <= 1, `${idleReads} status reads in 3 s while idle`);

  // A hotkey started playback: the program tells the page, which shows it well before its next poll.
  await clearCalls();
  const told = Date.now();
  await setState((s) => { s.status.state = 'Playing'; s.status.playEvents = 10; s.settings.sms = 40; });
  await page.waitForFunction(() => document.getElementById('play-toggle-label').textContent === 'Stop playback');
  assert.ok(Date.now() - told < 500, `shown after ${Date.now() - told} ms`);
  await page.waitForFunction(() => document.querySelector('[data-key="sms"]').value === '40');

  // After two quick looks, the figures of what runs are read about once a second.
  await page.waitForTimeout(800);
  await clearCalls();
  await page.waitForTimeout(3000);
  const runningReads = (await calls('getTrackerStatus')).length;
  assert.ok(runningReads >= 2 && runningReads <= 4, `${runningReads} status reads in 3 s while playing`);
});

test('an idle page shows a change no one told it of as soon as its window gains focus', async (t) => {
  const { page, clearCalls, calls } = await openPage(t);
  await page.waitForTimeout(800);
  await clearCalls();
  // Changed behind the page's back: only its safety net, minutes away, or a focus would show it.
  await page.evaluate(() => { window.__native.state.status.state = 'Playing'; window.__native.state.status.playEvents = 3; });
  await page.waitForTimeout(1500);
  assert.equal((await calls('getTrackerStatus')).length, 0);
  assert.notEqual(await page.textContent('#play-toggle-label'), 'Stop playback');

  await page.evaluate(() => window.dispatchEvent(new Event('focus')));
  await page.waitForFunction(() => document.getElementById('play-toggle-label').textContent === 'Stop playback');
});

// A page told of a running clicker, once it has taken its two quick looks; no calls noted yet.
async function openPageShowingARunningClicker(t) {
  const opened = await openPage(t);
  await opened.setState((s) => { s.status.autoClicking = true; s.status.clicks = 5; s.status.clickRate = 10; });
  await opened.page.waitForFunction(() => document.getElementById('clicker-toggle-label').textContent === 'Stop clicking');
  await opened.page.waitForTimeout(800);
  await opened.clearCalls();
  return opened;
}

test('a page showing a running clicker reads only the status, once a second', async (t) => {
  const { page, calls } = await openPageShowingARunningClicker(t);
  for (let i = 0; i < 4; i++) {
    await page.waitForTimeout(1000);
    await page.evaluate((n) => { window.__native.state.status.clicks = n; }, 10 * (i + 2));
  }
  const names = await page.evaluate(() => window.__native.calls.map((c) => c.name));
  const reads = names.filter((n) => n === 'getTrackerStatus').length;
  assert.ok(reads >= 3 && reads <= 5, `${reads} status reads in 4 s`);
  assert.deepEqual(names.filter((n) => n !== 'getTrackerStatus'), [], 'other calls while nothing changed');
  assert.match(await page.textContent('#clicker-figures'), /clicks/);
  assert.equal((await calls('getTrackerStatus')).length, reads);
});

test('a page handed the status while something runs shows it unread, and reads again when that stops', async (t) => {
  const { page, calls } = await openPageShowingARunningClicker(t);
  for (let i = 1; i <= 4; i++) {
    await page.evaluate((n) => {
      const s = window.__native.state.status;
      s.clicks = n;
      window.ravelinStatus(JSON.parse(JSON.stringify(s)));
    }, 100 * i);
    await page.waitForTimeout(1000);
  }
  assert.deepEqual(await calls('getTrackerStatus'), []);
  assert.match(await page.textContent('#clicker-figures'), /400 clicks/);
  // The hand-overs stopped: the page reads the figures itself again.
  await page.waitForTimeout(3000);
  assert.ok((await calls('getTrackerStatus')).length >= 1, 'no read after the hand-overs stopped');
});

test('a page told that nothing of it shows reads no figures, and takes them again when handed them', async (t) => {
  // The program says so while the window is covered by others, which the browser does not tell the page.
  const { page, calls, clearCalls } = await openPageShowingARunningClicker(t);
  const hand = (clicks) => page.evaluate((n) => {
    window.__native.state.status.clicks = n;
    window.ravelinStatus(JSON.parse(JSON.stringify(window.__native.state.status)));
  }, clicks);
  await page.evaluate(() => window.ravelinUnseen());
  await page.waitForTimeout(3500);
  assert.deepEqual(await calls('getTrackerStatus'), [], 'reads while unseen');

  // Shown again: the first hand-over shows at once, and once hand-overs stop the page reads itself.
  await hand(88);
  await page.waitForFunction(() => /88 clicks/.test(document.getElementById('clicker-figures').textContent));
  await page.waitForTimeout(4500);
  assert.ok((await calls('getTrackerStatus')).length >= 1, 'no read after the window showed again');

  // A change it is told of while unseen is still read: the clicker stopped behind another window.
  await page.evaluate(() => window.ravelinUnseen());
  await clearCalls();
  await page.evaluate(() => { window.__native.state.status.autoClicking = false; window.ravelinStatusChanged(); });
  await page.waitForFunction(() => document.getElementById('clicker-toggle-label').textContent === 'Start clicking');
});

test('a page with a viewport of 0 x 0 reads nothing, and reads everything once it shows again', async (t) => {
  // On Windows a minimized window's page has an empty viewport; the program hands it nothing then.
  const { page, calls, clearCalls } = await openPageShowingARunningClicker(t);
  const setViewport = (width, height) => page.evaluate(([w, h]) => {
    Object.defineProperty(window, 'innerWidth', { configurable: true, get: () => w });
    Object.defineProperty(window, 'innerHeight', { configurable: true, get: () => h });
    window.dispatchEvent(new Event('resize'));
  }, [width, height]);
  await setViewport(0, 0);
  await page.waitForTimeout(200);
  await clearCalls();
  await page.evaluate(() => {
    window.__native.state.status.clicks = 77;
    window.__native.state.settings.sms = 250;
    window.ravelinStatusChanged();
    window.ravelinStatus(JSON.parse(JSON.stringify(window.__native.state.status)));
  });
  await page.waitForTimeout(3500);
  assert.deepEqual(await page.evaluate(() => window.__native.calls.map((c) => c.name)), [], 'calls while unseen');
  assert.doesNotMatch(await page.textContent('#clicker-figures'), /77 clicks/);

  await setViewport(420, 560);
  await page.waitForFunction(() => /77 clicks/.test(document.getElementById('clicker-figures').textContent) &&
    document.querySelector('[data-key="sms"]').value === '250', null, { timeout: 1000 });
  assert.equal((await calls('getSettings')).length, 1);
});

test('the status poll drives the view and leaves an unchanged view untouched', async (t) => {
  const { page, setState, text, waitCall } = await openPage(t);
  await page.waitForTimeout(300);
  await page.evaluate(() => {
    window.__mutations = 0;
    new MutationObserver((m) => { window.__mutations += m.length; })
      .observe(document.body, { subtree: true, childList: true, attributes: true, characterData: true });
  });
  // Told of changes that changed nothing it shows: it reads the status and the settings again.
  for (let i = 0; i < 3; i++) {
    await page.evaluate(() => window.ravelinStatusChanged());
    await page.waitForTimeout(700);
  }
  assert.equal(await page.evaluate(() => window.__mutations), 0, 'polling an unchanged program rewrote the page');

  await setState((s) => { s.status.autoClicking = true; s.status.hkAuto = 'Right Mouse'; });
  await page.waitForFunction(() => document.getElementById('clicker-toggle-label').textContent === 'Stop clicking');
  assert.equal(await text('#clicker-toggle-key'), 'Right Mouse');

  // A toggle shows "Stopping…" only until a status read made after the request.
  await page.click('#clicker-toggle');
  assert.equal(await text('#clicker-toggle-label'), 'Stopping…');
  await waitCall('toggleSpammer', '[]');
  await page.waitForFunction(() => document.getElementById('clicker-toggle-label').textContent === 'Start clicking');

  await setState((s) => { s.status.reassigning = 'keyspamhotkey'; });
  await page.waitForFunction(() => document.querySelector('[data-hk="hkKeySpam"]').textContent === 'Press a key…');
  assert.match(await text('#hk-hint'), /Esc cancels/);
  assert.equal(await text('.hk-row [data-reassign="keyspamhotkey"]'), 'Waiting…');
  await setState((s) => { s.status.reassigning = ''; s.status.hkKeySpam = 'Num 0'; });
  await page.waitForFunction(() => document.querySelector('[data-hk="hkKeySpam"]').textContent === 'Num 0');
  assert.equal(await page.isVisible('#hk-hint'), false);

  await setState((s) => { s.status.state = 'Recording'; s.status.count = 1234; });
  await page.waitForFunction(() => document.getElementById('tracker-state-text').textContent === 'Recording');
  assert.equal(await text('#tracker-count'), '1,234');
  assert.equal(await page.isDisabled('#add-name'), true, 'profiles stay locked while recording');

  await setState((s) => { s.status.panelHover = true; });
  await page.waitForFunction(() => document.getElementById('dashboard').classList.contains('drop-target'));
});

test('profiles: names shown as text, add trimmed, cap, and delete/clear only after confirming', async (t) => {
  const state = freshState();
  state.profiles.names.push('<img src=x onerror="window.__xss=1">');
  const { page, calls, waitCall, clearCalls, text, errors } = await openPage(t, { state });
  await page.waitForFunction(() => document.querySelectorAll('#profile-list .profile').length === 2);
  assert.equal(await page.locator('#profile-list img').count(), 0);
  assert.equal(await text('#profile-list li:nth-child(2) .pname'), '<img src=x onerror="window.__xss=1">');

  await page.click('#profile-list li:nth-child(2) .profile');
  await waitCall('switchProfile', '[1]');
  await page.waitForFunction(() => document.querySelector('#profile-list li:nth-child(2) .profile')
    .getAttribute('aria-current') === 'true');

  // A name another profile has, in other letters or with blanks around it, is refused too.
  for (const bad of ['   ', 'say "hi"', 'back\\slash', 'a [b]', ' default tracking PROFILE ']) {
    await page.fill('#add-name', bad);
    await page.press('#add-name', 'Enter');
    assert.equal(await page.isVisible('#add-msg'), true, `no message for ${JSON.stringify(bad)}`);
  }
  assert.deepEqual(await calls('addProfile'), []);
  await page.fill('#add-name', '  Farm, run 2  ');
  await page.click('#add-btn');
  await waitCall('addProfile', '["Farm, run 2"]');
  await page.waitForFunction(() => document.getElementById('profiles-count').textContent === '3 of 3');
  assert.equal(await page.isDisabled('#add-btn'), true);

  await clearCalls();
  await page.click('[data-act="delete"][data-index="1"]');
  assert.equal(await page.isVisible('#profile-confirm'), true);
  await page.click('#profile-confirm [data-confirm-no]');
  assert.deepEqual(await calls('deleteProfileAt'), []);
  await page.click('[data-act="delete"][data-index="1"]');
  await page.click('#profile-confirm [data-confirm-yes]');
  await waitCall('deleteProfileAt', '[1]');

  await page.click('#clear-btn');
  await page.keyboard.press('Escape');
  assert.equal(await page.isVisible('#profile-confirm'), false);
  await page.click('#clear-btn');
  await page.click('#profile-confirm [data-confirm-yes]');
  await waitCall('clearProfile', '[]');
  assert.equal(await page.evaluate(() => window.__xss), undefined);
  assert.deepEqual(errors, []);
});

test('the last profile cannot be deleted', async (t) => {
  const { page } = await openPage(t);
  await page.waitForFunction(() => document.querySelectorAll('#profile-list .profile').length === 1);
  assert.equal(await page.isDisabled('[data-act="delete"][data-index="0"]'), true);
});

test('reset everything runs only after the in-page confirmation', async (t) => {
  const { page, calls, waitCall } = await openPage(t);
  await page.selectOption('#theme-select', 'midnight');
  await page.click('#reset-all-btn');
  assert.deepEqual(await calls('resetEverything'), []);
  await page.click('#reset-confirm [data-confirm-yes]');
  await waitCall('resetEverything', '[]');
  await page.waitForFunction(() => document.documentElement.getAttribute('data-theme') === 'modern-blue');
});

test('a popped-out panel hides until the status reports its window closed', async (t) => {
  const { page, calls, setState } = await openPage(t);
  await page.click('#clicker-panel [data-popout]');
  const [json] = await calls('openPanel');
  assert.match(json, /^\["Auto Clicker","clicker-panel",-?\d+,-?\d+\]$/);
  assert.equal(await page.isVisible('#clicker-panel'), false);
  assert.equal(await page.isVisible('#clicker-panel-note'), true);

  await setState((s) => { s.status.restore = ['Auto Clicker']; });
  await page.waitForFunction(() => !document.getElementById('clicker-panel').classList.contains('popped'));
  assert.equal(await page.isVisible('#clicker-panel-note'), false);

  // Keyboard activation has no pointer point; the button's place is sent instead.
  await page.focus('#keyspam-panel [data-popout]');
  await page.keyboard.press('Enter');
  const keyspam = (await calls('openPanel'))[1];
  assert.match(keyspam, /^\["Key Spammer","keyspam-panel",\d+,\d+\]$/);
});

test('the page works with no bindings at all', async (t) => {
  const { page, errors } = await openPage(t, { names: [] });
  assert.equal(await page.locator('.panel:visible').count(), 6);
  await page.evaluate(() => {
    document.querySelectorAll('button').forEach((b) => b.click());
    document.querySelectorAll('input, select').forEach((i) => i.dispatchEvent(new Event('change')));
    document.getElementById('add-form').requestSubmit();
    window.resizeHostWindow();
  });
  await page.waitForTimeout(400);
  assert.equal(await page.textContent('#clicker-toggle-label'), 'Start / Stop');
  assert.deepEqual(errors, []);
});
