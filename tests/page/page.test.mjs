// Drives ui/index.html in headless Chromium with a recording fake of the
// native bindings. Run: node --test tests/page/
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '..', '..');
const require = createRequire(path.join(repo, 'third_party', 'package.json'));
const { chromium } = require('playwright-core');

const PAGE_HTML = readFileSync(path.join(repo, 'ui', 'index.html'), 'utf8');

const MAIN_BINDINGS = [
  'resizeWindow', 'updateSpammer', 'toggleSpammer', 'updateKeySpam', 'toggleKeySpam', 'pickLocation',
  'getAppSettings', 'setAppSetting', 'resetHotkeys', 'getTrackerStatus', 'resetEverything', 'clearProfile',
  'addProfile', 'deleteProfile', 'switchProfile', 'getProfiles', 'getSettings', 'reassignKey', 'openPanel',
  'getTheme', 'setTheme', 'updateTracker', 'toggleRecord', 'togglePlay', 'getPlayRepeat', 'setPlayRepeat',
  'getVersion',
  'renameProfile', 'deleteProfileAt', 'getReplacedRecording', 'restoreRecording', 'getReassignRefusal',
  'getClickerWaiting', 'getClickStartDelay', 'setClickStartDelay', 'closePanel',
];
const PANEL_BINDINGS = [
  'updateSpammer', 'toggleSpammer', 'updateKeySpam', 'toggleKeySpam', 'reassignKey', 'updateTracker',
  'resizeWindow', 'beginWindowDrag', 'closeThisWindow', 'getSettings', 'getTrackerStatus',
];

function freshState() {
  return {
    status: {
      state: 'Idle', count: 0, restore: [], hkRec: 'F8', hkPlay: 'F7', hkAuto: 'F6', hkKeySpam: 'F9',
      keySpamTarget: 'Space', reassigning: '', panelHover: false, autoClicking: false, keySpamming: false,
      clickRate: 0, clicks: 0, keyPressRate: 0, keyPresses: 0, playEvent: 0, playEvents: 0, playPass: 0,
    },
    repeat: 0,
    settings: {
      sh: 0, sm: 0, ss: 0, sms: 100, sbtn: 0, stype: 0, rptMode: 1, rptTimes: 10, locMode: 0, fixedX: 0, fixedY: 0,
      tmv: true, tclk: true, tscr: true, tkey: true, trel: false, tspd: 1, tloop: false, tloopMs: 500,
      ksh: 0, ksm: 0, kss: 0, ksms: 100, ksRptMode: 1, ksRptTimes: 10,
    },
    profiles: { current: 0, names: ['Default Tracking Profile'], cap: 3 },
    app: { alwaysOnTop: false, launchOnStartup: false, startMinimized: false, hotkeysEnabled: true, disableAnimations: false },
  };
}

// Runs in the page before its scripts. Each binding records the JSON text of
// its argument array (what the native side receives) and answers from a small
// model of the program, so re-reads after an update show the update.
function installFakeNative({ names, state }) {
  const calls = [];
  const clone = (v) => (v === undefined ? undefined : JSON.parse(JSON.stringify(v)));
  const later = (ms, fn) => new Promise((r) => setTimeout(() => r(fn()), ms));
  const clicker = ['sh', 'sm', 'ss', 'sms', 'sbtn', 'stype', 'rptMode', 'rptTimes', 'locMode'];
  const keyspam = ['ksh', 'ksm', 'kss', 'ksms', 'ksRptMode', 'ksRptTimes'];
  const tracker = ['tmv', 'tclk', 'tscr', 'tkey', 'trel', 'tspd', 'tloop', 'tloopMs'];
  const flip = (word) => { state.status.state = state.status.state === word ? 'Idle' : word; };
  const handlers = {
    getTrackerStatus() { const s = clone(state.status); state.status.restore = []; return s; },
    getSettings: () => state.settings,
    getProfiles: () => state.profiles,
    getAppSettings: () => state.app,
    updateSpammer: (...a) => { clicker.forEach((k, i) => { state.settings[k] = Number(a[i]); }); },
    updateKeySpam: (...a) => { keyspam.forEach((k, i) => { state.settings[k] = Number(a[i]); }); },
    setAppSetting: (k, v) => { state.app[k] = String(v) === '1'; },
    // Toggles answer late, like a busy host: the page must not assume the outcome.
    toggleSpammer: () => later(150, () => { state.status.autoClicking = !state.status.autoClicking; }),
    toggleKeySpam: () => later(150, () => { state.status.keySpamming = !state.status.keySpamming; }),
    updateTracker: (...a) => {
      tracker.forEach((k, i) => { state.settings[k] = i === 5 || i === 7 ? Number(a[i]) : String(a[i]) === '1'; });
    },
    toggleRecord: () => later(150, () => flip('Recording')),
    togglePlay: () => later(150, () => flip('Playing')),
    getPlayRepeat: () => state.repeat,
    setPlayRepeat: (n) => { state.repeat = Number(n); },
    addProfile: (name) => {
      if (state.profiles.names.length < 3) {
        state.profiles.names.push(name);
        state.profiles.current = state.profiles.names.length - 1;
      }
    },
    deleteProfile: () => {
      const p = state.profiles;
      if (p.names.length < 2) return;
      p.names.splice(p.current, 1);
      if (p.current >= p.names.length) p.current = p.names.length - 1;
    },
    switchProfile: (i) => { state.profiles.current = i; },
    renameProfile: (i, name) => { state.profiles.names[i] = name; },
    deleteProfileAt: (i) => {
      const p = state.profiles;
      if (p.names.length < 2) return;
      p.names.splice(i, 1);
      if (i < p.current || p.current >= p.names.length) p.current--;
    },
    getReplacedRecording: () => state.replaced || 0,
    restoreRecording: () => { const had = !!state.replaced; state.replaced = 0; return had; },
    getReassignRefusal: () => state.refusal || null,
    getClickerWaiting: () => !!state.waiting,
    getClickStartDelay: () => state.delay || 0,
    setClickStartDelay: (n) => { const v = Number(n); if (v >= 0 && v <= 10) state.delay = v; },
    getTheme: () => state.theme || 'modern-blue',
    getVersion: () => state.version,
    setTheme: (name) => { state.theme = name; },
  };
  for (const name of names) {
    window[name] = (...args) => {
      calls.push({ name, json: JSON.stringify(args) });
      const h = handlers[name];
      return Promise.resolve(h ? h(...args) : undefined).then(clone);
    };
  }
  window.__native = { calls, state };
}

function panelScript(theme, id) {
  return `<script>
if (typeof applyTheme === 'function') applyTheme('${theme}');
let themeSel = document.getElementById('theme-select');
if (themeSel) themeSel.value = '${theme}';
document.querySelectorAll('.panel').forEach(p => p.style.display = 'none');
let activePanel = document.getElementById('${id}');
if (activePanel) {
  activePanel.style.display = 'block'; activePanel.style.borderRadius = '0';
  activePanel.style.boxShadow = 'none'; activePanel.style.border = 'none';
  let header = activePanel.querySelector('.panel-header');
  header.style.cursor = 'move';
  header.addEventListener('mousedown', (e) => {
    if (e.button !== 0 || e.target.closest('.panel-btn')) return;
    e.preventDefault();
    if (window.beginWindowDrag) window.beginWindowDrag('');
  });
}
document.body.style.padding = '0';
let dash = document.getElementById('dashboard');
if (dash) dash.style.gap = '0';
document.body.style.visibility = 'visible';
if (typeof resizeHostWindow === 'function') resizeHostWindow();
</script></body>`;
}

function asPanelPage(theme, id) {
  const at = PAGE_HTML.lastIndexOf('</body>');
  return PAGE_HTML.slice(0, at) + panelScript(theme, id) + PAGE_HTML.slice(at + '</body>'.length);
}

let browser;
before(async () => {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});
after(async () => { await browser?.close(); });

async function openPage(t, { names = MAIN_BINDINGS, state = freshState(), html = PAGE_HTML, viewport = { width: 420, height: 560 }, screen } = {}) {
  const context = await browser.newContext(screen ? { viewport, screen } : { viewport });
  t.after(() => context.close());
  const page = await context.newPage();
  page.setDefaultTimeout(3000);
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.addInitScript(installFakeNative, { names, state });
  await page.goto('about:blank');      // init scripts apply from the next document on
  await page.setContent(html);
  await page.waitForFunction(() => document.body.style.visibility === 'visible');
  const calls = (name) => page.evaluate((n) => window.__native.calls.filter((c) => !n || c.name === n).map((c) => c.json), name);
  const waitCall = (name, json) => page.waitForFunction(([n, j]) =>
    window.__native.calls.some((c) => c.name === n && (j === null || c.json === j)), [name, json ?? null]);
  const clearCalls = () => page.evaluate(() => { window.__native.calls.length = 0; });
  // The main window's program tells its page of every change; a panel window's page is told nothing.
  const tell = names === PANEL_BINDINGS ? '' : '; window.ravelinStatusChanged && window.ravelinStatusChanged()';
  const setState = (fn, arg) => page.evaluate(`(${fn})(window.__native.state, ${JSON.stringify(arg ?? null)})${tell}`);
  const text = (sel) => page.locator(sel).textContent();
  return { page, errors, calls, waitCall, clearCalls, setState, text };
}

async function typeInto(page, selector, value) {
  await page.fill(selector, value);
  await page.press(selector, 'Tab');   // change fires on leaving the field
}

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
  assert.ok(idleReads >= 1 && idleReads <= 2, `${idleReads} status reads in 3 s while idle`);

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

test('the status poll drives the view and leaves an unchanged view untouched', async (t) => {
  const { page, setState, text, waitCall } = await openPage(t);
  await page.waitForTimeout(300);
  await page.evaluate(() => {
    window.__mutations = 0;
    new MutationObserver((m) => { window.__mutations += m.length; })
      .observe(document.body, { subtree: true, childList: true, attributes: true, characterData: true });
  });
  await page.waitForTimeout(2200);   // several status reads, a settings and a profiles read
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

  for (const bad of ['   ', 'say "hi"', 'back\\slash', 'a [b]']) {
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
  await page.click('#delete-btn');
  assert.equal(await page.isVisible('#profile-confirm'), true);
  await page.click('#profile-confirm [data-confirm-no]');
  assert.deepEqual(await calls('deleteProfile'), []);
  await page.click('#delete-btn');
  await page.click('#profile-confirm [data-confirm-yes]');
  await waitCall('deleteProfile', '[]');

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
  assert.equal(await page.isDisabled('#delete-btn'), true);
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
  assert.ok(JSON.parse(size)[1] < 400, `panel height ${size}`);

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
  const { page, errors, waitCall, clearCalls, setState } = await openPage(t, {
    names: PANEL_BINDINGS, html: asPanelPage('midnight', 'clicker-panel'), viewport: { width: 450, height: 400 },
  });
  await page.waitForFunction(() => document.getElementById('clicker-toggle-label').textContent === 'Start clicking');
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
  assert.equal(await text('#clicker-figures'), '9.98 clicks/s · 57 clicks');
  assert.equal(await text('#keyspam-figures'), '20 presses/s · 1 press');
  assert.equal(await text('#play-figures'), 'event 120 of 300 · pass 2');

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

  await setState((s) => { Object.assign(s.status, { autoClicking: false, keySpamming: false, state: 'Idle' }); });
  await page.waitForFunction(() => document.getElementById('clicker-figures').hidden &&
    document.getElementById('keyspam-figures').hidden && document.getElementById('play-figures').hidden);
});

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
  assert.notEqual(await page.evaluate(() => document.activeElement.tagName), 'BODY');
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
  assert.equal(await page.textContent('#replaced-text'), 'The new recording replaced one of 40 events.');
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
