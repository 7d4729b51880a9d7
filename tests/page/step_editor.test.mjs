// The step editor: the current recording read as macro text, edited in place with undo, and sent
// back whole; the list keeps only the rows in view, whatever the recording's length.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { freshState, openPage } from './harness.mjs';

const viewport = { width: 900, height: 700 };
const RECORDING = [
  'Ravelin macro 1', 'screen 1920 1080', '', '# the wait before each step in milliseconds, then the step',
  '2500 move 10 10', '16.5 move 12 11', '16 move 40 40', '120 press left 40 40', '80 release left 40 40',
  '3000 key-down A 65', '50 key-up A 65', '10 wheel -120', '400 move 41 41', '300 move 200 200', '',
].join('\n');

function editorState(text = RECORDING) {
  const state = freshState();
  state.status.count = 10;
  state.recordingText = text;
  state.keyNames = Object.assign(new Array(256).fill(''), { 65: 'A' });
  return state;
}
async function openEditor(t, state) {
  const opened = await openPage(t, { state, viewport });
  await opened.page.click('#editor-open');
  await opened.page.locator('#step-editor').waitFor();
  return opened;
}
const shown = (page) => page.$$eval('#editor-rows .editor-row:not([hidden])', (rows) =>
  rows.map((r) => [r.querySelector('.n').textContent, r.querySelector('.w').textContent, r.querySelector('.s').textContent].join(' ')));
const stepLines = (text) => text.split('\n').filter((l) => /^\d/.test(l));
const click = (page, n, mods) => page.click(`#editor-rows [data-at="${n - 1}"] .n`, mods ? { modifiers: mods } : {});
const saved = async (page, calls) => {
  await page.click('#editor-save');
  await page.waitForFunction(() => /Saved/.test(document.getElementById('editor-msg').textContent));
  return JSON.parse((await calls('saveRecording')).pop())[0];
};

test('edit in place, delete, duplicate, move, undo and redo, then save the whole recording', async (t) => {
  const state = editorState();
  const { page, calls, errors } = await openEditor(t, state);
  assert.equal(await page.textContent('#editor-stats'), '10 steps · 1 click · 1 key · 6.5 s');
  assert.deepEqual((await shown(page)).slice(0, 3), ['1 2500 move 10 10', '2 16.5 move 12 11', '3 16 move 40 40']);

  // A wait and a step changed where they are shown; a mistake is said and nothing changes.
  await page.dblclick('#editor-rows [data-at="1"] .w');
  await page.fill('#editor-rows input', '33.25');
  await page.press('#editor-rows input', 'Enter');
  await page.dblclick('#editor-rows [data-at="3"] .s');
  await page.fill('#editor-rows input', 'press right 41 42');
  await page.press('#editor-rows input', 'Enter');
  await page.dblclick('#editor-rows [data-at="5"] .s');
  await page.fill('#editor-rows input', 'jump 1 2');
  await page.press('#editor-rows input', 'Enter');
  assert.match(await page.textContent('#editor-msg'), /Step 6: unknown step "jump"/);
  await page.press('#editor-rows input', 'Escape');
  assert.deepEqual((await shown(page)).slice(1, 4), ['2 33.25 move 12 11', '3 16 move 40 40', '4 120 press right 41 42']);

  // Deleting steps 2 and 3 gives their waits to step 4, so it keeps its time.
  await click(page, 2);
  await click(page, 3, ['Shift']);
  await page.click('#editor-delete');
  assert.deepEqual((await shown(page)).slice(0, 3), ['1 2500 move 10 10', '2 169.25 press right 41 42', '3 80 release left 40 40']);
  // Duplicate the key press and release, then move the copies up past the release.
  await click(page, 4);
  await click(page, 5, ['Shift']);
  await page.click('#editor-duplicate');
  await page.click('#editor-up');
  assert.deepEqual((await shown(page)).slice(3, 8).map((r) => r.slice(2)), [
    '3000 key-down A 65', '3000 key-down A 65', '50 key-up A 65', '50 key-up A 65', '10 wheel -120']);
  assert.equal(await page.textContent('#editor-stats'), '10 steps · 1 click · 2 keys · 9.6 s · not saved');

  // Undo goes back edit by edit to the opened recording; redo comes forward again.
  for (let i = 0; i < 5; i++) await page.click('#editor-undo');
  assert.equal(await page.isDisabled('#editor-undo'), true);
  assert.deepEqual(await shown(page), stepLines(RECORDING).map((l, i) => `${i + 1} ${l}`));
  for (let i = 0; i < 5; i++) await page.click('#editor-redo');
  await page.keyboard.press('Control+z');
  await page.keyboard.press('Control+y');

  const sent = await saved(page, calls);
  assert.deepEqual(stepLines(sent), ['2500 move 10 10', '169.25 press right 41 42', '80 release left 40 40',
    '3000 key-down A 65', '3000 key-down A 65', '50 key-up A 65', '50 key-up A 65', '10 wheel -120',
    '400 move 41 41', '300 move 200 200']);
  assert.match(sent, /^Ravelin macro 1\nscreen 1920 1080\n/);
  // The recording it replaced can be brought back, as after a recording.
  await page.locator('#replaced-offer').waitFor();
  assert.equal(await page.isDisabled('#editor-save'), true);
  assert.deepEqual(errors, []);
});

test('waits set and scaled, idle start and end trimmed, the mouse path thinned', async (t) => {
  const { page, calls } = await openEditor(t, editorState());
  // All waits of at least 2 s set to 500 ms; then the selected steps' waits halved.
  await page.selectOption('#editor-wait-op', 'set');
  await page.fill('#editor-wait-value', '500');
  await page.fill('#editor-wait-min', '2000');
  await page.click('#editor-wait-apply');
  await click(page, 2);
  await click(page, 4, ['Control']);
  await page.selectOption('#editor-wait-op', 'scale');
  await page.fill('#editor-wait-value', '0.5');
  await page.fill('#editor-wait-min', '0');
  await page.click('#editor-wait-apply');
  assert.deepEqual((await shown(page)).map((r) => r.split(' ')[1]), ['500', '8.25', '16', '60', '80', '500', '50', '10', '400', '300']);

  // Trim: the first step at once; the moves after the last wheel turn dropped.
  await page.click('#editor-trim-start');
  await page.click('#editor-trim-end');
  assert.equal((await shown(page)).length, 8);
  assert.equal((await shown(page))[0], '1 0 move 10 10');

  // Thin: moves within 5 px of the last step kept go, their waits to the next step kept.
  await page.click('#editor-undo');
  await page.fill('#editor-thin-px', '5');
  await page.click('#editor-thin');
  assert.match(await page.textContent('#editor-msg'), /2 moves dropped/);
  assert.deepEqual((await shown(page)).map((r) => r.replace(/^\d+ /, '')), [
    '0 move 10 10', '24.25 move 40 40', '60 press left 40 40', '80 release left 40 40', '500 key-down A 65',
    '50 key-up A 65', '10 wheel -120', '700 move 200 200']);
  // By time instead: moves within 500 ms of the last step kept go; clicks and keys all stay.
  await page.click('#editor-undo');
  await page.fill('#editor-thin-px', '0');
  await page.fill('#editor-thin-ms', '500');
  await page.click('#editor-thin');
  const sent = stepLines(await saved(page, calls));
  assert.deepEqual(sent, ['0 move 10 10', '84.25 press left 40 40', '80 release left 40 40', '500 key-down A 65',
    '50 key-up A 65', '10 wheel -120', '700 move 200 200']);
});

test('play from a step or just the selection saves the edits first', async (t) => {
  const state = editorState();
  const { page, calls } = await openEditor(t, state);
  await click(page, 3);
  await page.click('#editor-play-from');
  await page.waitForFunction(() => window.__native.state.played);
  assert.deepEqual(state.played ?? await page.evaluate(() => window.__native.state.played), [2, -1]);
  assert.deepEqual(await calls('saveRecording'), []);   // nothing to save
  await page.click('#editor-delete');
  await click(page, 4);
  await click(page, 6, ['Shift']);
  await page.click('#editor-play-sel');
  await page.waitForFunction(() => window.__native.state.played[0] === 3);
  assert.deepEqual(await page.evaluate(() => window.__native.state.played), [3, 6]);
  assert.equal((await calls('saveRecording')).length, 1);
});

test('a refused save keeps the edits and says why; Close asks before dropping them', async (t) => {
  const state = editorState();
  state.refuseSave = 'The steps were not saved:\nline 7: the macro would last more than a year';
  const { page } = await openEditor(t, state);
  await click(page, 1);
  await page.keyboard.press('Delete');
  await page.click('#editor-save');
  await page.waitForFunction(() => /line 7/.test(document.getElementById('editor-msg').textContent));
  assert.equal(await page.isDisabled('#editor-save'), false);
  await page.click('#editor-close');
  assert.equal(await page.isVisible('#step-editor'), true);
  assert.match(await page.textContent('#editor-msg'), /not saved/);
  await page.click('#editor-close');
  assert.equal(await page.isVisible('#step-editor'), false);
});

test("a recording in parts: a wait of its own before a part's first step counts", async (t) => {
  const state = editorState();
  state.recordingParts = ['Ravelin macro 1\n0 move 1 1\nwait 1000\n', '5 move 2 2\n', '7 key-down A 65\n'];
  state.recordingSteps = 3;
  const { page, calls } = await openEditor(t, state);
  await page.waitForFunction(() => /^3 steps/.test(document.getElementById('editor-stats').textContent));
  assert.deepEqual(await shown(page), ['1 0 move 1 1', '2 1005 move 2 2', '3 7 key-down A 65']);
  assert.deepEqual((await calls('getMacroJob')).slice(-2).map((j) => JSON.parse(j)[1]), [1, 2]);
  await click(page, 2);
  await page.click('#editor-delete');
  assert.deepEqual(stepLines(await saved(page, calls)), ['0 move 1 1', '1012 key-down A 65']);
});

test('a million steps: only the rows in view exist, and scrolling shows the right ones', async (t) => {
  const lines = [];
  for (let i = 0; i < 1000000; i++) lines.push(i % 1000 === 999 ? `${i % 7} press left ${i} 5` : `${i % 7} move ${i} 5`);
  const state = editorState();
  state.recordingParts = Array.from({ length: 10 }, (_, k) => (k ? '' : 'Ravelin macro 1\n') + lines.slice(k * 100000, (k + 1) * 100000).join('\n') + '\n');
  state.recordingSteps = 1000000;
  const { page } = await openEditor(t, state);
  await page.waitForFunction(() => /1,000,000 steps/.test(document.getElementById('editor-stats').textContent));
  assert.match(await page.textContent('#editor-stats'), /1,000,000 steps · 1,000 clicks · 0 keys/);
  assert.ok(await page.locator('#editor-rows .editor-row').count() < 60);
  // Scrolled half-way: the rows shown follow each other and show their own steps.
  await page.evaluate(() => { const l = document.getElementById('editor-list'); l.scrollTop = (l.scrollHeight - l.clientHeight) / 2; });
  await page.waitForFunction(() => Number(document.querySelector('#editor-rows .editor-row .n').textContent) > 400000);
  const middle = await shown(page);
  const first = Number(middle[0].split(' ')[0]);
  assert.ok(first > 490000 && first < 510000, middle[0]);
  middle.forEach((row, k) => {
    const i = first + k - 1;
    assert.equal(row, `${i + 1} ${i % 7} ${i % 1000 === 999 ? 'press left' : 'move'} ${i} 5`);
  });
  await page.click('#editor-rows .editor-row .n');
  await page.keyboard.press('End');
  const rows = await shown(page);
  assert.equal(rows[rows.length - 1], '1000000 0 press left 999999 5');
  await page.keyboard.press('Shift+ArrowUp');
  await page.keyboard.press('Delete');
  assert.match(await page.textContent('#editor-stats'), /999,998 steps · 999 clicks/);
  // Saved in parts cut at line ends, which together are the whole text.
  await page.click('#editor-save');
  await page.waitForFunction(() => /Saved/.test(document.getElementById('editor-msg').textContent), null, { timeout: 20000 });
  const sent = await page.evaluate(() => {
    const calls = window.__native.calls.filter((c) => c.name === 'saveRecording').map((c) => JSON.parse(c.json));
    const text = window.__native.state.recordingText;
    return { parts: calls.map((a) => [a[1], a[2], a[0].endsWith('\n')]), lines: text.split('\n').length, last: text.slice(-40) };
  });
  assert.ok(sent.parts.length >= 5, JSON.stringify(sent.parts));
  sent.parts.forEach(([part, parts, whole], k) => assert.deepEqual([part, parts, whole], [k, sent.parts.length, true]));
  assert.equal(sent.lines, 1 + 999998 + 1);
  assert.match(sent.last, /\n5 move 999997 5\n$/);
});

test('a recording that changes elsewhere is read again; edits of the editor\'s own are kept and the change said', async (t) => {
  const state = editorState();
  const { page, calls, setState, errors } = await openEditor(t, state);
  const msg = (re) => page.waitForFunction((s) => new RegExp(s).test(document.getElementById('editor-msg').textContent), re.source);
  await page.waitForFunction(() => /^10 steps/.test(document.getElementById('editor-stats').textContent));

  // A macro loaded from the library (or the command line) takes the recording's place.
  await setState((s) => { s.recordingText = 'Ravelin macro 1\n0 move 1 1\n5 move 2 2\n5 move 3 3\n'; s.status.count = 3; });
  await msg(/The recording changed: the editor shows the new one/);
  assert.equal((await calls('readRecording')).length, 2);
  await page.waitForFunction(() => /^3 steps/.test(document.getElementById('editor-stats').textContent));

  // A new recording under way is waited for.
  await setState((s) => { s.status.state = 'Recording'; });
  await msg(/A new recording is being made/);
  await setState((s) => { s.status.state = 'Idle'; s.status.count = 4; s.recordingText += '5 move 4 4\n'; });
  await page.waitForFunction(() => /^4 steps/.test(document.getElementById('editor-stats').textContent));
  assert.equal((await calls('readRecording')).length, 3);

  // With an edit not saved, the editor keeps it and says what happened, once.
  await click(page, 1);
  await page.click('#editor-delete');
  await setState((s) => { s.status.count = 9; });
  await msg(/changed since the editor read it: Save puts these edits in its place/);
  assert.equal((await calls('readRecording')).length, 3);
  assert.match(await page.textContent('#editor-stats'), /^3 steps/);
  // Saved, the edits are the recording, and a later change is followed again.
  const text = await saved(page, calls);
  assert.deepEqual(stepLines(text), ['5 move 2 2', '5 move 3 3', '5 move 4 4']);
  await new Promise((r) => setTimeout(r, 300));
  assert.equal((await calls('readRecording')).length, 3);
  await setState((s) => { s.status.count = 1; s.recordingText = 'Ravelin macro 1\n0 move 9 9\n'; });
  await msg(/The recording changed: the editor shows the new one/);
  assert.deepEqual(errors, []);
});
