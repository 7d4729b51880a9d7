// What the page tests share: ui/index.html with a recording fake of the native bindings, in one
// headless Chromium per test file (started and closed by the hooks below), and the page opened as the
// main window or as a panel window.
import { before, after } from 'node:test';
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '..', '..');
const require = createRequire(path.join(repo, 'third_party', 'package.json'));
const { chromium } = require('playwright-core');

// The settings table as the program puts it in the page's head (the build's settings_script prints it).
const SETTINGS_SCRIPT = execFileSync(process.env.RAVELIN_SETTINGS_SCRIPT ||
  path.join(repo, 'build', 'linux', 'tests', 'settings_script'), { encoding: 'utf8' });
export const SETTINGS_TABLE = JSON.parse(SETTINGS_SCRIPT.replace(/^window\.ravelinSettings = /, '').replace(/;$/, ''));
// The page as the build makes it from ui/page.html, ui/style.css and ui/script.js.
const RAW_PAGE = readFileSync(process.env.RAVELIN_PAGE || path.join(repo, 'build', 'linux', 'ui', 'index.html'), 'utf8');
const HEAD_AT = RAW_PAGE.indexOf('<head>') + '<head>'.length;
export const PAGE_HTML = RAW_PAGE.slice(0, HEAD_AT) + '<script>' + SETTINGS_SCRIPT + '</script>' + RAW_PAGE.slice(HEAD_AT);
const groupNames = (group) => SETTINGS_TABLE.filter((s) => s.group === group).map((s) => s.name);

export const MAIN_BINDINGS = [
  'resizeWindow', 'updateSpammer', 'toggleSpammer', 'updateKeySpam', 'toggleKeySpam', 'pickLocation',
  'pickSequence',
  'getAppSettings', 'setAppSetting', 'resetHotkeys', 'getTrackerStatus', 'resetEverything', 'clearProfile',
  'addProfile', 'deleteProfile', 'switchProfile', 'getProfiles', 'getSettings', 'changeSettings', 'reassignKey',
  'openPanel',
  'getTheme', 'setTheme', 'updateTracker', 'toggleRecord', 'togglePlay', 'getPlayRepeat', 'setPlayRepeat',
  'getVersion',
  'renameProfile', 'deleteProfileAt', 'getReplacedRecording', 'restoreRecording', 'getReassignRefusal',
  'getClickerWaiting', 'getClickStartDelay', 'setClickStartDelay', 'closePanel', 'getMacroJob',
  'listMacros', 'saveMacro', 'loadMacro', 'renameMacro', 'duplicateMacro', 'deleteMacro', 'importMacro',
  'exportMacro', 'openMacroFolder', 'playSteps', 'readRecording', 'saveRecording',
  'chooseMacroFile', 'getMacroFileChoice',
];
export const PANEL_BINDINGS = [
  'updateSpammer', 'toggleSpammer', 'updateKeySpam', 'toggleKeySpam', 'reassignKey', 'changeSettings',
  'updateTracker', 'resizeWindow', 'beginWindowDrag', 'closeThisWindow', 'getSettings', 'getTrackerStatus', 'listMacros',
  'saveMacro', 'loadMacro', 'renameMacro', 'duplicateMacro', 'deleteMacro', 'importMacro', 'exportMacro',
  'openMacroFolder', 'getMacroJob', 'getClickStartDelay', 'getPlayRepeat', 'getReassignRefusal', 'getReplacedRecording',
  'restoreRecording', 'setClickStartDelay', 'setPlayRepeat', 'pickLocation', 'togglePlay', 'toggleRecord',
  'chooseMacroFile', 'getMacroFileChoice',
];

export function freshState() {
  return {
    status: {
      state: 'Idle', count: 0, restore: [], hkRec: 'F8', hkPlay: 'F7', hkAuto: 'F6', hkKeySpam: 'F9',
      keySpamTarget: 'Space', reassigning: '', panelHover: false, autoClicking: false, keySpamming: false,
      clickRate: 0, clicks: 0, keyPressRate: 0, keyPresses: 0, playEvent: 0, playEvents: 0, playPass: 0,
    },
    repeat: 0,
    settings: Object.fromEntries(SETTINGS_TABLE.filter((s) => s.page).map((s) => [s.name, s.byDefault])),
    profiles: { current: 0, names: ['Default Tracking Profile'], cap: 3 },
    app: { alwaysOnTop: false, launchOnStartup: false, startMinimized: false, hotkeysEnabled: true, disableAnimations: false },
  };
}

// Runs in the page before its scripts. Each binding records the JSON text of
// its argument array (what the native side receives) and answers from a small
// model of the program, so re-reads after an update show the update.
function installFakeNative({ names, state, groups }) {
  const calls = [];
  const clone = (v) => (v === undefined ? undefined : JSON.parse(JSON.stringify(v)));
  const later = (ms, fn) => new Promise((r) => setTimeout(() => r(fn()), ms));
  const { clicker, keyspam, tracker } = groups;
  const jobs = [null];
  const job = (run) => { jobs.push({ asked: 0, outcome: run() }); return jobs.length - 1; };
  const macros = () => { state.macros = state.macros || []; state.macros.sort((a, b) => (a.name < b.name ? -1 : 1)); return state.macros; };
  const flip = (word) => { state.status.state = state.status.state === word ? 'Idle' : word; };
  const handlers = {
    getTrackerStatus() {
      const s = clone(state.status);
      state.status.restore = [];
      s.clickerWaiting = !!state.waiting && s.autoClicking === true;
      return s;
    },
    getSettings: () => state.settings,
    getProfiles: () => state.profiles,
    getAppSettings: () => state.app,
    updateSpammer: (...a) => { clicker.forEach((k, i) => { state.settings[k] = Number(a[i]); }); },
    updateKeySpam: (...a) => { keyspam.forEach((k, i) => { state.settings[k] = Number(a[i]); }); },
    setAppSetting: (k, v) => { state.app[k] = String(v) === '1'; },
    changeSettings: (text) => {
      String(text).split(',').forEach((field) => {
        const [k, v] = field.split('=');
        const was = typeof state.settings[k];
        state.settings[k] = was === 'boolean' ? v === '1' : was === 'string' ? v : Number(v);
      });
    },
    // Toggles answer late, like a busy host: the page must not assume the outcome.
    toggleSpammer: () => later(150, () => { state.status.autoClicking = !state.status.autoClicking; }),
    toggleKeySpam: () => later(150, () => { state.status.keySpamming = !state.status.keySpamming; }),
    updateTracker: (...a) => {
      tracker.forEach((k, i) => {
        state.settings[k] = typeof state.settings[k] === 'boolean' ? String(a[i]) === '1' : Number(a[i]);
      });
    },
    toggleRecord: () => later(150, () => flip('Recording')),
    togglePlay: () => later(150, () => flip('Playing')),
    pickSequence: (on) => { state.status.pickingSequence = String(on) === '1'; },
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
    // The macro library: each call is a job whose outcome is asked for, first unfinished.
    // A list comes state.macroPage macros at a time when that is set, as a panel's replies do.
    getMacroJob: (id, part, from) => {
      const job = jobs[id];
      const cut = (outcome, at) => {
        if (!state.macroPage || !outcome.macros || (at === 0 && outcome.macros.length <= state.macroPage)) return outcome;
        const macros = outcome.macros.slice(at, at + state.macroPage);
        return { ...outcome, macros, from: at, more: outcome.macros.length - at - macros.length };
      };
      if (part === 'macros') return job ? { done: true, ...cut(job.outcome, from) } : { done: true, ok: false, message: 'No such job.', name: '' };
      if (part !== undefined) return { done: true, ok: true, message: '', name: '', part, text: state.recordingParts[part] };
      if (!job) return { done: true, ok: false, message: 'No such job.', name: '' };
      return job.asked++ < 1 ? { done: false } : { done: true, ...cut(job.outcome, 0) };
    },
    // The system's file dialog: each answers the next of state.dialogAnswers (a path, '' when
    // cancelled, null when no dialog can be shown), after three asks while it is open.
    chooseMacroFile: () => {
      const path = (state.dialogAnswers || []).shift();
      if (path === null || path === undefined) return 0;
      jobs.push({ asked: 0, outcome: { path } });
      return jobs.length - 1;
    },
    getMacroFileChoice: (id) => {
      const job = jobs[id];
      if (!job) return { done: true, path: '', unavailable: true };
      return job.asked++ < 3 ? { done: false } : { done: true, path: job.outcome.path };
    },
    listMacros: () => job(() => ({ ok: true, message: '', name: '', macros: macros() })),
    saveMacro: (name, replace) => job(() => {
      const at = macros().findIndex((m) => m.name === name);
      if (at >= 0 && !replace) return { ok: false, message: `A macro named "${name}" exists already.`, name };
      const entry = { name, steps: state.status.count, lengthMs: 61500, modified: 1765000000, problem: '' };
      if (at >= 0) state.macros[at] = entry; else state.macros.push(entry);
      return { ok: true, message: `Saved "${name}" (${state.status.count} steps).`, name };
    }),
    loadMacro: (name) => job(() => {
      const m = macros().find((x) => x.name === name);
      if (!m || m.problem) return { ok: false, message: `"${name}" was not loaded:\n${m ? m.problem : 'no such macro'}`, name };
      state.replaced = state.status.count;
      state.status.count = m.steps;
      return { ok: true, message: `Loaded "${name}" (${m.steps} steps).`, name };
    }),
    renameMacro: (from, to) => job(() => {
      macros().find((m) => m.name === from).name = to;
      return { ok: true, message: `Renamed to "${to}".`, name: to };
    }),
    duplicateMacro: (name) => job(() => {
      state.macros.push({ ...macros().find((m) => m.name === name), name: `${name} copy` });
      return { ok: true, message: `Copied as "${name} copy".`, name: `${name} copy` };
    }),
    deleteMacro: (name) => job(() => {
      state.macros = macros().filter((m) => m.name !== name);
      return { ok: true, message: `Deleted "${name}".`, name };
    }),
    importMacro: (path) => job(() => ({ ok: false, message: `The file is not a macro Ravelin can read:\nline 2: unknown step "jump"`, name: '' })),
    openMacroFolder: () => job(() => ({ ok: true, message: '', name: '' })),
    // The step editor: the recording as macro text (state.recordingText), saved back whole.
    // A long recording comes in parts (state.recordingParts), the first with the outcome.
    readRecording: () => job(() => (state.recordingParts
      ? { ok: true, message: '', name: '', steps: state.recordingSteps, parts: state.recordingParts.length, text: state.recordingParts[0], keys: state.keyNames || [] }
      : { ok: true, message: '', name: '', text: state.recordingText || 'Ravelin macro 1\n', keys: state.keyNames || [] })),
    // A long text comes in parts ([text, part, parts]); the last starts the job.
    saveRecording: (text, part, parts) => {
      if (parts !== undefined) {
        if (part === 0) state.sending = [];
        state.sending.push(text);
        if (part + 1 < parts) return true;
        text = state.sending.join('');
      }
      return job(() => {
      if (state.refuseSave) return { ok: false, message: state.refuseSave, name: '' };
      state.replaced = state.status.count;
      state.recordingText = text;
      // One event for each step line, as the program reads the text.
      state.status.count = text.split('\n').filter((l) => /^\d/.test(l)).length;
      return { ok: true, message: 'Saved the edited recording.', name: '' };
      });
    },
    playSteps: (from, to) => { state.played = [from, to]; return true; },
    exportMacro: (name, path, replace) => job(() => {
      state.files = state.files || {};
      if (state.files[path] && !replace) return { ok: false, message: `There is a file at ${path} already.`, name };
      state.files[path] = name;
      return { ok: true, message: `Exported to ${path}.`, name };
    }),
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

export function asPanelPage(theme, id) {
  const at = PAGE_HTML.lastIndexOf('</body>');
  return PAGE_HTML.slice(0, at) + panelScript(theme, id) + PAGE_HTML.slice(at + '</body>'.length);
}

// Each test file runs in a process of its own, which imports this module once.
let browser;
before(async () => {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});
after(async () => { await browser?.close(); });

export async function openPage(t, { names = MAIN_BINDINGS, state = freshState(), html = PAGE_HTML, viewport = { width: 420, height: 560 }, screen } = {}) {
  const context = await browser.newContext(screen ? { viewport, screen } : { viewport });
  t.after(() => context.close());
  const page = await context.newPage();
  page.setDefaultTimeout(3000);
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  const groups = { clicker: groupNames('clicker'), keyspam: groupNames('keyspam'), tracker: groupNames('tracker') };
  await page.addInitScript(installFakeNative, { names, state, groups });
  await page.goto('about:blank');      // init scripts apply from the next document on
  await page.setContent(html);
  await page.waitForFunction(() => document.body.style.visibility === 'visible');
  const calls = (name) => page.evaluate((n) => window.__native.calls.filter((c) => !n || c.name === n).map((c) => c.json), name);
  const waitCall = (name, json) => page.waitForFunction(([n, j]) =>
    window.__native.calls.some((c) => c.name === n && (j === null || c.json === j)), [name, json ?? null]);
  const clearCalls = () => page.evaluate(() => { window.__native.calls.length = 0; });
  // The program tells the page of every change, in the main window and in a panel window alike.
  const tell = '; window.ravelinStatusChanged && window.ravelinStatusChanged()';
  const setState = (fn, arg) => page.evaluate(`(${fn})(window.__native.state, ${JSON.stringify(arg ?? null)})${tell}`);
  const text = (sel) => page.locator(sel).textContent();
  return { page, errors, calls, waitCall, clearCalls, setState, text };
}

export async function typeInto(page, selector, value) {
  await page.fill(selector, value);
  await page.press(selector, 'Tab');   // change fires on leaving the field
}
