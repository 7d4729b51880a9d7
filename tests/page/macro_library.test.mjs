// The macro library in the Macro Tracker panel: saving the recording under a name (asking before a
// macro is replaced), the list, loading with the offer to bring the old recording back, rename,
// duplicate, delete after a confirmation, import and export through the system's file dialog (by a
// typed path where there is none), in the main window and in the panel's own window.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { freshState, openPage, typeInto, asPanelPage, MAIN_BINDINGS, PANEL_BINDINGS } from './harness.mjs';

const rows = (page) => page.$$eval('#macro-list li', (lis) => lis.map((li) => li.getAttribute('data-macro')));
const said = (page) => page.locator('#macro-msg').textContent();
const waitSaid = (page, re) => page.waitForFunction((s) => new RegExp(s).test(document.getElementById('macro-msg').textContent), re.source);

test('save, list, load, rename, duplicate and delete', async (t) => {
  const state = freshState();
  state.status.count = 1234;
  state.macros = [{ name: 'Broken', steps: 0, lengthMs: 0, modified: 1765000000, problem: 'line 2: unknown step "fly"' }];
  const { page, calls, setState, errors } = await openPage(t, { state });
  await page.waitForFunction(() => document.querySelectorAll('#macro-list li').length === 1);
  // A file that cannot be loaded says why, and cannot be loaded.
  assert.match(await page.locator('[data-macro="Broken"] .mmeta').textContent(), /Cannot be loaded: line 2: unknown step "fly"/);
  assert.equal(await page.isDisabled('[data-macro="Broken"] [data-macro-act="load"]'), true);

  await typeInto(page, '#macro-save-name', 'Log in');
  await page.click('#macro-save-btn');
  await waitSaid(page, /Saved "Log in" \(1234 steps\)/);
  await page.waitForFunction(() => document.querySelectorAll('#macro-list li').length === 2);
  assert.deepEqual(await rows(page), ['Broken', 'Log in']);
  assert.equal(await page.locator('[data-macro="Log in"] .mmeta').textContent().then((x) => x.split(' · ').slice(0, 2).join(' · ')), '1,234 steps · 1:01.5');

  // Saving again under the name asks first; Cancel keeps the saved one.
  await setState((s) => { s.status.count = 5; });
  await page.click('#macro-save-btn');
  await page.locator('#macro-confirm').waitFor();
  assert.match(await page.textContent('#macro-confirm-text'), /exists already\. Replace it/);
  await page.click('#macro-confirm [data-confirm-no]');
  assert.deepEqual((await calls('saveMacro')).map((j) => JSON.parse(j)), [['Log in'], ['Log in']]);
  await page.click('#macro-save-btn');
  await page.click('#macro-confirm-yes');
  await waitSaid(page, /Saved "Log in" \(5 steps\)/);
  assert.deepEqual(JSON.parse((await calls('saveMacro')).pop()), ['Log in', true]);

  // Loading offers the replaced recording back. The list is read again after it, and the keyboard
  // stays on the button it was on.
  await setState((s) => { s.status.count = 77; });
  const lists = (await calls('listMacros')).length;
  await page.focus('[data-macro="Log in"] [data-macro-act="load"]');
  await page.keyboard.press('Enter');
  await waitSaid(page, /Loaded "Log in" \(5 steps\)/);
  await page.waitForFunction((n) => window.__native.calls.filter((c) => c.name === 'listMacros').length > n, lists);
  await new Promise((r) => setTimeout(r, 300));
  await page.waitForFunction(() => document.activeElement && document.activeElement.getAttribute('aria-label') === 'Load Log in');
  await page.locator('#replaced-offer').waitFor();
  assert.match(await page.textContent('#replaced-text'), /77 events/);

  await page.click('[data-macro="Log in"] [data-macro-act="duplicate"]');
  await page.waitForFunction(() => document.querySelector('[data-macro="Log in copy"]'));
  await page.click('[data-macro="Log in copy"] [data-macro-act="rename"]');
  await typeInto(page, '#macro-rename-name', 'Sign in');
  await page.click('#macro-rename-save');
  await page.waitForFunction(() => document.querySelector('[data-macro="Sign in"]'));
  assert.deepEqual(JSON.parse((await calls('renameMacro')).pop()), ['Log in copy', 'Sign in']);

  // Delete asks first.
  await page.click('[data-macro="Sign in"] [data-macro-act="delete"]');
  assert.match(await page.textContent('#macro-confirm-text'), /Delete the macro "Sign in"/);
  assert.deepEqual(await calls('deleteMacro'), []);
  await page.click('#macro-confirm-yes');
  await page.waitForFunction(() => !document.querySelector('[data-macro="Sign in"]'));
  assert.deepEqual(await rows(page), ['Broken', 'Log in']);
  // One saved elsewhere (from the command line) shows when the window gains focus.
  await setState((s) => { s.macros.push({ name: 'From the pipe', steps: 9, lengthMs: 10, modified: 1765000000, problem: '' }); });
  await page.evaluate(() => window.dispatchEvent(new Event('focus')));
  await page.waitForFunction(() => document.querySelector('[data-macro="From the pipe"]'));
  assert.deepEqual(errors, []);
});

test('import and export open the file dialog; a cancelled one does nothing', async (t) => {
  const state = freshState();
  state.macros = [{ name: 'Wave', steps: 3, lengthMs: 500, modified: 1765000000, problem: '' }];
  state.dialogAnswers = ['', '/home/me/wave "final".rvm', '/home/me/in.rvm', null];
  const { page, calls } = await openPage(t, { state });
  await page.waitForFunction(() => document.querySelector('[data-macro="Wave"]'));
  assert.equal(await page.isVisible('#macro-path'), false);
  assert.equal(await page.textContent('#macro-import-btn'), 'Import…');

  await page.click('[data-macro="Wave"] [data-macro-act="export"]');
  // A second ask while the dialog is open opens no other.
  await page.click('#macro-import-btn');
  assert.deepEqual(await calls('chooseMacroFile'), ['["save","Wave"]']);
  await page.waitForFunction(() => window.__native.calls.filter((c) => c.name === 'getMacroFileChoice').length === 4);
  await new Promise((r) => setTimeout(r, 200));
  assert.deepEqual(await calls('exportMacro'), []);
  assert.equal(await page.isVisible('#macro-msg'), false);

  // The dialog asked before it chose a file that is there: the export replaces it.
  await page.click('[data-macro="Wave"] [data-macro-act="export"]');
  await waitSaid(page, /Exported to/);
  assert.deepEqual(JSON.parse((await calls('exportMacro'))[0]), ['Wave', '/home/me/wave "final".rvm', true]);

  await page.click('#macro-import-btn');
  await waitSaid(page, /not a macro Ravelin can read/);
  assert.deepEqual(await calls('chooseMacroFile'), ['["save","Wave"]', '["save","Wave"]', '["open"]']);
  assert.deepEqual(await calls('importMacro'), ['["/home/me/in.rvm"]']);

  // No dialog to be had after all: the typed path from then on.
  await page.click('#macro-import-btn');
  await waitSaid(page, /Type the path of the macro file to import/);
  assert.equal(await page.isVisible('#macro-path'), true);
  assert.equal(await page.textContent('#macro-import-btn'), 'Import');
  assert.equal((await calls('chooseMacroFile')).length, 4);
  await typeInto(page, '#macro-path', '/home/me/other.rvm');
  await page.click('#macro-import-btn');
  await page.waitForFunction(() => window.__native.calls.filter((c) => c.name === 'importMacro').length === 2);
  assert.equal((await calls('chooseMacroFile')).length, 4);
});

test('without a file dialog, import and export go by the typed path and say what went wrong', async (t) => {
  const state = freshState();
  state.macros = [{ name: 'Wave', steps: 3, lengthMs: 500, modified: 1765000000, problem: '' }];
  const { page, calls } = await openPage(t, { state, names: MAIN_BINDINGS.filter((n) => !/MacroFile/.test(n)) });
  await page.waitForFunction(() => document.querySelector('[data-macro="Wave"]'));
  await page.click('[data-macro="Wave"] [data-macro-act="export"]');
  assert.match(await said(page), /Type the path of the file to export to/);
  assert.deepEqual(await calls('exportMacro'), []);

  await typeInto(page, '#macro-path', 'C:\\Users\\me\\wave, "final".rvm');
  await page.click('[data-macro="Wave"] [data-macro-act="export"]');
  await waitSaid(page, /Exported to/);
  assert.deepEqual(JSON.parse((await calls('exportMacro'))[0]), ['Wave', 'C:\\Users\\me\\wave, "final".rvm']);
  // Over an existing file only after asking.
  await page.click('[data-macro="Wave"] [data-macro-act="export"]');
  await page.locator('#macro-confirm').waitFor();
  await page.click('#macro-confirm-yes');
  await page.waitForFunction(() => window.__native.calls.filter((c) => c.name === 'exportMacro').length === 3);
  assert.deepEqual(JSON.parse((await calls('exportMacro'))[2]), ['Wave', 'C:\\Users\\me\\wave, "final".rvm', true]);

  await page.click('#macro-folder-btn');
  await page.waitForFunction(() => window.__native.calls.some((c) => c.name === 'openMacroFolder'));
  await page.click('#macro-import-btn');
  await waitSaid(page, /not a macro Ravelin can read:\nline 2: unknown step "jump"/);
  assert.equal(await page.evaluate(() => document.getElementById('macro-msg').classList.contains('warn')), true);
});

test('the popped-out Macro Tracker panel has the library too', async (t) => {
  const state = freshState();
  state.macros = [{ name: 'Wave', steps: 3, lengthMs: 500, modified: 1765000000, problem: '' }];
  const { page, calls } = await openPage(t, { state, names: PANEL_BINDINGS, html: asPanelPage('modern-blue', 'tracker-panel') });
  await page.waitForFunction(() => document.querySelector('[data-macro="Wave"]'));
  await page.click('[data-macro="Wave"] [data-macro-act="load"]');
  await waitSaid(page, /Loaded "Wave"/);
  assert.deepEqual(await calls('loadMacro'), ['["Wave"]']);
  // Without the library's calls (an older main instance), the section stays hidden.
  const other = await openPage(t, { names: PANEL_BINDINGS.filter((n) => !/Macro/.test(n)), html: asPanelPage('modern-blue', 'tracker-panel') });
  assert.equal(await other.page.isVisible('#macro-library'), false);
});

test('the panel reads a library longer than one reply in parts', async (t) => {
  const state = freshState();
  state.macroPage = 7;
  state.macros = Array.from({ length: 40 }, (_, i) => ({ name: `Macro ${100 + i}`, steps: 1, lengthMs: 10, modified: 1765000000, problem: '' }));
  const { page, calls } = await openPage(t, { state, names: PANEL_BINDINGS, html: asPanelPage('modern-blue', 'tracker-panel') });
  await page.waitForFunction(() => document.querySelectorAll('#macro-list li').length === 40);
  assert.deepEqual(await rows(page), state.macros.map((m) => m.name));
  const parts = (await calls('getMacroJob')).map((j) => JSON.parse(j)).filter((a) => a[1] === 'macros');
  assert.deepEqual(parts.map((a) => a[2]), [7, 14, 21, 28, 35]);
});
