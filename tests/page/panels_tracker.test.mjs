// Panel windows, the theme and version, the macro tracker and the live figures.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { MAIN_BINDINGS, PANEL_BINDINGS, PAGE_HTML, asPanelPage, freshState, openPage, typeInto } from './harness.mjs';

test('panel window: one panel, panel bindings only, close and drag', async (t) => {
  assert.equal(PAGE_HTML.split('</body>').length, 2, 'the page must end its body exactly once');
  const { page, errors, calls, waitCall, clearCalls } = await openPage(t, {
    names: PANEL_BINDINGS, html: asPanelPage('midnight', 'clicker-panel'), viewport: { width: 450, height: 400 },
  });
  const visible = await page.evaluate(() => Array.from(document.querySelectorAll('.panel'))
    .filter((p) => p.getClientRects().length > 0).map((p) => p.id));
  assert.deepEqual(visible, ['clicker-panel']);
  assert.equal(await page.getAttribute('html', 'data-theme'), 'midnight');
  assert.equal(await page.isVisible('.appbar'), false);
  const [size] = await calls('resizeWindow');
  assert.match(size, /^\[450,\d+\]$/);
  assert.ok(JSON.parse(size)[1] < 600, `panel height ${size}`);  // the one panel, not the page

  await clearCalls();
  await typeInto(page, '[data-key="sms"]', '300');
  await waitCall('updateSpammer', '[0,0,0,300,0,0,1,10,0]');
  await page.click('#clicker-toggle');
  await waitCall('toggleSpammer', '[]');

  await page.click('#clicker-panel .panel-title');
  await waitCall('beginWindowDrag', '[""]');
  await page.click('#clicker-panel .panel-btn');
  await waitCall('closeThisWindow', '[]');
  assert.equal((await calls('beginWindowDrag')).length, 1, 'a press on a header button must not drag');

  await page.waitForTimeout(600);      // a few polls: only panel bindings are called
  const names = new Set((await page.evaluate(() => window.__native.calls.map((c) => c.name))));
  for (const n of names) assert.ok(PANEL_BINDINGS.includes(n), n);
  assert.deepEqual(errors, []);
});

test('panel window starts from the settings the main window handed over', async (t) => {
  const seeded = asPanelPage('paper', 'clicker-panel').replace('<head>',
    "<head><script>window.panelSettings = '0,0,2,250,1,1,0,5,0,0,0,0,0,0,100,1,10,32';</script>");
  // A host that cannot reach the main instance answers nothing: the handed-over values stay.
  const { page, errors, waitCall, clearCalls } = await openPage(t, {
    names: PANEL_BINDINGS.filter((n) => n !== 'getSettings' && n !== 'getTrackerStatus'),
    html: seeded, viewport: { width: 450, height: 400 },
  });
  assert.equal(await page.inputValue('[data-key="ss"]'), '2');
  assert.equal(await page.inputValue('[data-key="sms"]'), '250');
  await clearCalls();
  await typeInto(page, '[data-key="sms"]', '300');
  // The other eight fields keep the handed-over values, not the page defaults.
  await waitCall('updateSpammer', '[0,0,2,300,1,1,0,5,0]');
  assert.deepEqual(errors, []);
});

test('panel window follows the settings in use and shows whether its function runs', async (t) => {
  const { page, errors, calls, waitCall, clearCalls, setState } = await openPage(t, {
    names: PANEL_BINDINGS, html: asPanelPage('midnight', 'clicker-panel'), viewport: { width: 450, height: 400 },
  });
  await page.waitForFunction(() => document.getElementById('clicker-toggle-label').textContent === 'Start clicking');
  // Told of every change by the main instance, an idle panel reads seldom.
  await page.waitForTimeout(500);
  await clearCalls();
  await page.waitForTimeout(2500);
  const idleReads = (await calls('getTrackerStatus')).length + (await calls('getSettings')).length;
  assert.ok(idleReads <= 2, `${idleReads} reads in 2.5 s while idle`);
  // A profile switch in the main window, and the clicker started there.
  await setState((s) => { s.settings.ss = 7; s.settings.sbtn = 1; s.status.autoClicking = true; });
  const start = Date.now();
  await page.waitForFunction(() => document.querySelector('[data-key="ss"]').value === '7');
  assert.ok(Date.now() - start < 800, `shown after ${Date.now() - start} ms`);
  await page.waitForFunction(() => document.getElementById('clicker-toggle-label').textContent === 'Stop clicking');
  // The next edit carries the values in use, with only the edited field changed.
  await clearCalls();
  await typeInto(page, '[data-key="sms"]', '300');
  await waitCall('updateSpammer', '[0,0,7,300,1,0,1,10,0]');
  assert.deepEqual(errors, []);
});

test('the theme the program kept is shown at start and a new choice is kept', async (t) => {
  const state = freshState();
  state.theme = 'paper';
  const { page, errors, waitCall } = await openPage(t, { state });
  await page.waitForFunction(() => document.documentElement.getAttribute('data-theme') === 'paper');
  assert.equal(await page.inputValue('#theme-select'), 'paper');
  await page.selectOption('#theme-select', 'midnight');
  await waitCall('setTheme', '["midnight"]');
  assert.equal(await page.getAttribute('html', 'data-theme'), 'midnight');
  assert.deepEqual(errors, []);
});

test('Settings shows the version the program reports, and no line without one', async (t) => {
  const state = freshState();
  state.version = '3.14.2';
  const { page, errors } = await openPage(t, { state });
  await page.waitForSelector('#version-line:visible');
  assert.equal(await page.textContent('#version-line'), 'Version 3.14.2');
  for (const names of [MAIN_BINDINGS, []]) {
    const { page: bare } = await openPage(t, { names });
    await bare.waitForTimeout(300);
    assert.equal(await bare.isVisible('#version-line'), false);
  }
  assert.deepEqual(errors, []);
});

test('macro tracker: switches, speed, loop, pause and repeat are applied as they change', async (t) => {
  const { page, calls, waitCall, clearCalls, errors } = await openPage(t);
  await page.click('[data-tswitch="tmv"]');
  await waitCall('updateTracker', '[0,1,1,1,0,1,0,500]');
  await page.waitForFunction(() => document.querySelector('[data-tswitch="tmv"]').getAttribute('aria-pressed') === 'false');
  // Keyboard: the switches are buttons.
  await page.focus('[data-tswitch="trel"]');
  await page.keyboard.press('Space');
  await waitCall('updateTracker', '[0,1,1,1,1,1,0,500]');

  await page.click('label:has(> input[name="tspd"][value="2"])');
  await waitCall('updateTracker', '[0,1,1,1,1,2,0,500]');
  assert.equal(await page.inputValue('#tspd-input'), '2');
  await typeInto(page, '#tspd-input', '0.25');
  await waitCall('updateTracker', '[0,1,1,1,1,0.25,0,500]');
  await page.waitForFunction(() => [...document.querySelectorAll('input[name="tspd"]')].every((r) => !r.checked));
  await clearCalls();
  for (const bad of ['0', '0.05', '10.5', 'abc', '', '-1', '1e1']) {
    await typeInto(page, '#tspd-input', bad);
    assert.equal(await page.inputValue('#tspd-input'), '0.25', `after "${bad}"`);
  }
  await typeInto(page, '#tspd-input', '10');
  await waitCall('updateTracker', '[0,1,1,1,1,10,0,500]');
  await page.click('label:has(> input[name="tspd"][value="0.5"])');
  await waitCall('updateTracker', '[0,1,1,1,1,0.5,0,500]');

  await page.click('#tloop-switch');
  await waitCall('updateTracker', '[0,1,1,1,1,0.5,1,500]');
  await typeInto(page, '#tloopms-input', '1500');
  await waitCall('updateTracker', '[0,1,1,1,1,0.5,1,1500]');
  await typeInto(page, '#tloopms-input', '-3');
  assert.equal(await page.inputValue('#tloopms-input'), '1500');
  await typeInto(page, '#repeat-input', '3');
  await waitCall('setPlayRepeat', '[3]');
  await typeInto(page, '#repeat-input', 'lots');
  assert.equal(await page.inputValue('#repeat-input'), '3');

  for (const json of await calls('updateTracker')) {
    const a = JSON.parse(json);
    assert.equal(a.length, 8, json);
    assert.ok(a.every((v) => typeof v === 'number'), json);
  }
  assert.deepEqual(await calls('setPlayRepeat'), ['[3]']);
  assert.deepEqual(errors, []);
});

test('macro tracker shows the settings and repeat count the program holds', async (t) => {
  const state = freshState();
  Object.assign(state.settings, { tmv: false, trel: true, tspd: 1.5, tloop: true, tloopMs: 250 });
  state.repeat = 4;
  const { page } = await openPage(t, { state });
  await page.waitForFunction(() => document.getElementById('repeat-input').value === '4');
  assert.equal(await page.getAttribute('[data-tswitch="tmv"]', 'aria-pressed'), 'false');
  assert.equal(await page.getAttribute('[data-tswitch="trel"]', 'aria-pressed'), 'true');
  assert.equal(await page.inputValue('#tspd-input'), '1.5');
  assert.equal(await page.isChecked('#tloop-switch'), true);
  assert.equal(await page.inputValue('#tloopms-input'), '250');
});

test('record and play: the buttons show the state, and play from the page starts after a cancellable countdown', async (t) => {
  const state = freshState();
  state.status.count = 5;
  const { page, calls, waitCall, clearCalls, text, setState } = await openPage(t, { state });
  await page.click('#record-toggle');
  await waitCall('toggleRecord', '[]');
  await page.waitForFunction(() => document.getElementById('record-toggle-label').textContent === 'Stop recording');
  assert.equal(await page.isDisabled('#play-toggle'), true, 'no playback during a recording');
  await page.click('#record-toggle');
  await page.waitForFunction(() => document.getElementById('record-toggle-label').textContent === 'Record');

  // The countdown shows, and a second press cancels it: nothing is requested.
  await clearCalls();
  await page.click('#play-toggle');
  assert.equal(await page.isVisible('#play-countdown'), true);
  assert.equal(await text('#play-countdown-left'), '3');
  assert.match(await text('#play-toggle-label'), /^Starting in 3/);
  assert.equal(await page.isDisabled('#record-toggle'), true);
  await page.waitForTimeout(1200);
  assert.equal(await text('#play-countdown-left'), '2');
  await page.click('#play-toggle');
  assert.equal(await page.isVisible('#play-countdown'), false);
  await page.waitForTimeout(2500);
  assert.deepEqual(await calls('togglePlay'), []);

  // The play hotkey during the countdown starts playback at once: the countdown ends without a
  // request that would stop it again.
  await page.click('#play-toggle');
  await setState((s) => { s.status.state = 'Playing'; });
  await page.waitForFunction(() => document.getElementById('play-countdown').hidden);
  await page.waitForTimeout(3300);
  assert.deepEqual(await calls('togglePlay'), []);
  assert.equal(await text('#play-toggle-label'), 'Stop playback');
  await setState((s) => { s.status.state = 'Idle'; });
  await page.waitForFunction(() => document.getElementById('play-toggle-label').textContent === 'Play');

  // Left alone, it asks for playback after three seconds.
  const started = Date.now();
  await page.click('#play-toggle');
  await page.waitForFunction(() => window.__native.calls.some((c) => c.name === 'togglePlay'), null, { timeout: 5000 });
  const waited = Date.now() - started;
  assert.ok(waited >= 2900 && waited < 4000, `played after ${waited} ms`);
  await page.waitForFunction(() => document.getElementById('play-toggle-label').textContent === 'Stop playback');
  assert.equal(await page.isVisible('#play-countdown'), false);
  assert.equal(await page.isDisabled('#record-toggle'), true, 'no recording during playback');

  // Stopping is at once.
  await clearCalls();
  await page.click('#play-toggle');
  await waitCall('togglePlay', '[]');
  await page.waitForFunction(() => document.getElementById('play-toggle-label').textContent === 'Play');
});

test('live figures show next to what runs and are left alone while unchanged', async (t) => {
  const { page, setState, text } = await openPage(t);
  await setState((s) => {
    Object.assign(s.status, { autoClicking: true, clickRate: 9.98, clicks: 57, keySpamming: true, keyPressRate: 20,
      keyPresses: 1, state: 'Playing', count: 300, playEvent: 120, playEvents: 300, playPass: 2 });
  });
  await page.waitForFunction(() => !document.getElementById('play-figures').hidden);
  // Rates with one decimal always, so the line does not jump.
  assert.equal(await text('#clicker-figures'), '10.0 clicks/s · 57 clicks');
  assert.equal(await text('#keyspam-figures'), '20.0 presses/s · 1 press');
  assert.equal(await text('#play-figures'), 'event 120 of 300 · pass 2');
  // The text of each line is laid out apart from the panel, and must still sit exactly on its line.
  const boxes = await page.evaluate(() => ['clicker', 'keyspam', 'play'].map((name) => {
    const line = document.getElementById(name + '-figures');
    const box = (el) => { const r = el.getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; };
    return { name, line: box(line), text: box(line.firstElementChild) };
  }));
  for (const { name, line, text: shown } of boxes) {
    assert.deepEqual(shown, line, `${name}: the figures' text is off its line`);
    assert.ok(line[2] > 200 && line[3] === 18, `${name}: a line of ${line[2]} x ${line[3]}`);
  }

  await page.evaluate(() => {
    window.__mutations = 0;
    new MutationObserver((m) => { window.__mutations += m.length; })
      .observe(document.body, { subtree: true, childList: true, attributes: true, characterData: true });
  });
  await page.waitForTimeout(1000);
  assert.equal(await page.evaluate(() => window.__mutations), 0, 'unchanged figures were rewritten');

  await setState((s) => { s.status.clicks = 58; });
  await page.waitForFunction(() => document.getElementById('clicker-figures').textContent.endsWith('58 clicks'));
  const changed = await page.evaluate(() => window.__mutations);
  assert.ok(changed >= 1 && changed <= 2, `${changed} mutations for one figure`);

  // A limited run counts toward its limit; a stopped one keeps its total until the next start.
  await setState((s) => { s.settings.ksRptMode = 0; s.settings.ksRptTimes = 50; s.status.keyPresses = 12; });
  await page.waitForFunction(() => document.getElementById('keyspam-figures').textContent.endsWith('12 of 50 presses'));
  await setState((s) => {
    Object.assign(s.status, { autoClicking: false, keySpamming: false, state: 'Idle', lastClicks: 58, lastKeyPresses: 0 });
  });
  await page.waitForFunction(() => document.getElementById('keyspam-figures').hidden &&
    document.getElementById('play-figures').hidden);
  assert.equal(await text('#clicker-figures'), 'Stopped after 58 clicks');
});
