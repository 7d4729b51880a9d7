// The page in the forced-colors mode that the system's contrast themes apply: every control can
// be seen, and so can which option of a group is selected and whether a switch is on.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { openPage } from './harness.mjs';

// The pixels of an element's box.
const shot = async (page, locator) => {
  const box = await locator.boundingBox();
  return page.screenshot({ clip: box, animations: 'disabled' });
};

for (const theme of ['modern-blue', 'midnight']) {
  test(`forced colors (${theme}): every control shows, and so does its state`, async (t) => {
    const { page } = await openPage(t, { viewport: { width: 420, height: 3200 } });
    await page.emulateMedia({ forcedColors: 'active' });
    await page.evaluate((name) => { document.documentElement.dataset.theme = name; document.body.classList.add('no-anim'); }, theme);

    // Visible: hiding the control changes what is on the screen.
    const controls = page.locator('input.switch, .seg label, .panel-body .btn, input.num, select');
    const count = await controls.count();
    let checked = 0;
    for (let i = 0; i < count; i++) {
      const control = controls.nth(i);
      if (!(await control.isVisible())) continue;
      const shown = await shot(page, control);
      await control.evaluate((e) => { e.style.visibility = 'hidden'; });
      const hidden = await shot(page, control);
      await control.evaluate((e) => { e.style.visibility = ''; });
      const name = await control.evaluate((e) => e.outerHTML.slice(0, 90));
      assert.ok(!shown.equals(hidden), `invisible: ${name}`);
      checked++;
    }
    assert.ok(checked > 30, `only ${checked} controls looked at`);

    // States: a switch on differs from off, a selected option from the same option unselected.
    const states = page.locator('input.switch, .seg input');
    const initially = await states.evaluateAll((all) => all.map((e) => e.checked));
    for (let i = 0; i < await states.count(); i++) {
      const input = states.nth(i);
      const box = input.locator('xpath=..');
      const target = (await input.evaluate((e) => e.classList.contains('switch'))) ? input : box;
      if (!(await target.isVisible())) continue;
      const set = (on) => input.evaluate((e, v) => { e.checked = v; }, on);
      await set(false);
      const off = await shot(page, target);
      await set(true);
      const on = await shot(page, target);
      const name = await input.evaluate((e) => e.outerHTML.slice(0, 90));
      assert.ok(!off.equals(on), `state cannot be told: ${name}`);
    }
    await states.evaluateAll((all, was) => all.forEach((e, i) => { e.checked = was[i]; }), initially);

    if (process.env.RAVELIN_SHOT_DIR && theme === 'modern-blue') {
      const part = await page.locator('#clicker-panel').boundingBox();
      const settings = await page.locator('#settings-panel').boundingBox();
      await page.screenshot({ path: path.join(process.env.RAVELIN_SHOT_DIR, 'high-contrast-clicker.png'), clip: part });
      await page.screenshot({ path: path.join(process.env.RAVELIN_SHOT_DIR, 'high-contrast-settings.png'), clip: settings });
    }
  });
}
