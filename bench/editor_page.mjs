// The step editor's speed in headless Chromium, for a recording of 1,000,000 steps (default; a
// count can be given), handed over as the program does, in parts of about 2 MB: the time from
// "Edit steps" to the first rows shown (open_ms: the first part's reply parsed from its JSON text and
// read into columns, rows drawn), to every step read (all_read_ms), and a scroll step: the script, style and layout of moving the list by a wheel's notch
// (3 rows) and by a jump to anywhere (median, 99th percentile and most over 500 steps), and the
// frames longer than 25 ms (a frame missed at 60 Hz) while the list scrolls one notch every frame
// for 300 frames. Also the time of an edit of every step (all waits halved) and to write the whole
// recording back as macro text and hand all its parts to the program's call (what Save sends).
// Each open is the median of three.
//
//   node bench/editor_page.mjs [steps]     (after building: reads build/linux/ui/index.html)
//   editor_page steps=1000000 open_ms=… all_read_ms=… notch_ms_median=… … frames_over_25ms=…/300 write_ms=…
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '..');
const require = createRequire(path.join(repo, 'third_party', 'package.json'));
const { chromium } = require('playwright-core');

const steps = Number(process.argv[2] || 1000000);
const build = path.join(repo, 'build', 'linux');
const settings = execFileSync(process.env.RAVELIN_SETTINGS_SCRIPT || path.join(build, 'tests', 'settings_script'), { encoding: 'utf8' });
const raw = readFileSync(process.env.RAVELIN_PAGE || path.join(build, 'ui', 'index.html'), 'utf8');
const at = raw.indexOf('<head>') + '<head>'.length;
const html = raw.slice(0, at) + '<script>' + settings + '</script>' + raw.slice(at);

// In the page before its script: the program's calls, readRecording answered at once with the reply
// the program gives, as its JSON text (a recording as the recorder makes it: moves 4 ms apart, a
// click every 20 steps, a key every 50).
function fakeProgram(count) {
  let lines = 'Ravelin macro 1\nscreen 1920 1080\n\n# the wait before each step in milliseconds, then the step\n';
  for (let i = 0; i < count; i++) {
    const x = i % 1920, y = (i * 7) % 1080, r = i % 50;
    const step = r === 10 ? `press left ${x} ${y}` : r === 11 ? `release left ${x} ${y}`
      : r === 30 ? 'key-down A 65' : r === 31 ? 'key-up A 65' : `move ${x} ${y}`;
    lines += (i ? '4.001 ' : '0 ') + step + '\n';
  }
  const keys = Array.from({ length: 256 }, (_, k) => (k >= 65 && k <= 90 ? String.fromCharCode(k) : 'Key' + k));
  // Parts of about 2 MB cut at line ends, the first with the outcome, as the program hands them.
  const parts = [];
  for (let at = 0; at < lines.length;) {
    let end = at + 2097152 < lines.length ? lines.indexOf('\n', at + 2097152) + 1 : lines.length;
    if (end <= 0) end = lines.length;
    parts.push(lines.slice(at, end));
    at = end;
  }
  const replies = parts.map((text, part) => JSON.stringify(part
    ? { done: true, ok: true, message: '', name: '', part, text }
    : { done: true, ok: true, message: '', name: '', steps: count, parts: parts.length, keys, text }));
  lines = null;
  const jobs = [];
  const answers = {
    getMacroJob: (job, part) => JSON.parse(replies[part || 0]),
    readRecording: () => { jobs.push(1); return jobs.length; },
    getTrackerStatus: () => ({ state: 'Idle', count }),
    getProfiles: () => ({ current: 0, names: ['Default'], cap: 3 }),
  };
  for (const name of ['getMacroJob', 'readRecording', 'saveRecording', 'playSteps', 'getTrackerStatus', 'getProfiles',
    'getSettings', 'getAppSettings', 'listMacros', 'getReplacedRecording']) {
    // Each answer comes as a task of its own, as a reply from the program does.
    window[name] = (...a) => new Promise((resolve) => setTimeout(() => resolve(answers[name] ? answers[name](...a) : undefined), 0));
  }
}

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
});
const median = (a) => [...a].sort((x, y) => x - y)[Math.floor(a.length / 2)];
const pct = (a, p) => [...a].sort((x, y) => x - y)[Math.min(a.length - 1, Math.floor(a.length * p))];
const f = (v) => v.toFixed(2);
try {
  const opens = [], wholes = [];
  let page;
  for (let run = 0; run < 3; run++) {
    if (page) await page.context().close();
    const context = await browser.newContext({ viewport: { width: 900, height: 700 } });
    page = await context.newPage();
    await page.addInitScript(fakeProgram, steps);
    await page.goto('about:blank');
    await page.setContent(html);
    await page.waitForFunction(() => document.body.style.visibility === 'visible');
    await page.waitForFunction(() => !document.getElementById('editor-open').hidden);
    // From the click to the first rows in the document and a frame drawn, and to the whole
    // recording read (the statistics count every step).
    const open = await page.evaluate((n) => new Promise((resolve) => {
      const want = new Intl.NumberFormat('en-US').format(n) + ' steps';
      const stats = document.getElementById('editor-stats');
      const start = performance.now();
      let first = 0;
      const seen = new MutationObserver(() => {
        if (!first && !document.getElementById('step-editor').hidden && document.querySelector('#editor-rows .editor-row:not([hidden])')) {
          requestAnimationFrame(() => { first = first || performance.now() - start; });
        }
        if (!stats.textContent.startsWith(want)) return;
        seen.disconnect();
        requestAnimationFrame(() => resolve([first, performance.now() - start]));
      });
      seen.observe(document.getElementById('step-editor'), { childList: true, characterData: true, subtree: true, attributes: true });
      document.getElementById('editor-open').click();
    }), steps);
    opens.push(open[0]);
    wholes.push(open[1]);
  }
  const scroll = await page.evaluate(() => {
    const list = document.getElementById('editor-list');
    const rows = document.getElementById('editor-rows');
    const one = (top) => {
      const t = performance.now();
      list.scrollTop = top;
      list.dispatchEvent(new Event('scroll'));
      void rows.offsetHeight;  // style and layout now
      return performance.now() - t;
    };
    const notch = [], jump = [];
    let top = 0, seed = 12345;
    for (let i = 0; i < 500; i++) { top += 66; notch.push(one(top)); }
    for (let i = 0; i < 500; i++) {
      seed = (seed * 1103515245 + 12345) % 2147483648;
      jump.push(one(seed / 2147483648 * (list.scrollHeight - list.clientHeight)));
    }
    return { notch, jump };
  });
  const frames = await page.evaluate(() => new Promise((resolve) => {
    const list = document.getElementById('editor-list');
    let last = 0, count = 0, over = 0, longest = 0;
    list.scrollTop = 0;
    (function frame(now) {
      if (last) { const d = now - last; if (d > 16.7 * 1.5) over++; longest = Math.max(longest, d); }
      last = now;
      list.scrollTop += 66;
      if (++count <= 300) requestAnimationFrame(frame); else resolve({ over, longest });
    })(0);
  }));
  // What Save sends: the whole recording written as macro text (the page's writer, through its
  // Save path up to the call).
  const write = await page.evaluate(() => new Promise((done) => {
    let resolve = done;
    let began = 0;
    let chars = 0;
    window.saveRecording = (text, part, parts) => {
      chars += text.length;
      if (parts === undefined || part + 1 === parts) { resolve({ ms: performance.now() - began, mb: chars / 1e6 }); return Promise.resolve(0); }
      return Promise.resolve(true);
    };
    // An edit first (every wait halved), timed too.
    const edit = performance.now();
    document.getElementById('editor-wait-apply').click();
    const editMs = performance.now() - edit;
    const resolveWith = resolve;
    resolve = (r) => resolveWith({ ...r, editMs });
    began = performance.now();
    document.getElementById('editor-save').click();
  }));
  console.log(`editor_page steps=${steps} open_ms=${f(median(opens))} all_read_ms=${f(median(wholes))}` +
    ` notch_ms_median=${f(median(scroll.notch))} notch_ms_p99=${f(pct(scroll.notch, 0.99))} notch_ms_max=${f(Math.max(...scroll.notch))}` +
    ` jump_ms_median=${f(median(scroll.jump))} jump_ms_p99=${f(pct(scroll.jump, 0.99))} jump_ms_max=${f(Math.max(...scroll.jump))}` +
    ` frames_over_25ms=${frames.over}/300 longest_frame_ms=${f(frames.longest)} scale_all_waits_ms=${f(write.editMs)}` +
    ` write_ms=${f(write.ms)} write_mb=${f(write.mb)}`);
} finally {
  await browser.close();
}
