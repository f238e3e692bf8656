// Real-browser check of the I/O viewer: two pages, live updates between them,
// a repeating toggle and its stop. Usage: node viewer.mjs <artifacts-dir>
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const artifacts = process.argv[2] ?? '.';
const viewerUrl = process.env.VIEWER_URL ?? 'http://localhost:8679/';
const htmx = fs.readFileSync(new URL('./node_modules/htmx.org/dist/htmx.min.js', import.meta.url));

function check(condition, text) {
  if (!condition) {
    throw new Error(text);
  }
  console.log(`ok - ${text}`);
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'velmor-viewer-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});

// The page loads htmx from a CDN; serve that file from the npm copy so that
// the integrity check runs against the real bytes, and keep everything else local.
await context.route('**/*', (route) => {
  const url = new URL(route.request().url());
  if (url.hostname === 'localhost' || url.hostname === '127.0.0.1') {
    return route.continue();
  }
  if (url.pathname.endsWith('/htmx.org@1.9.11/dist/htmx.min.js')) {
    return route.fulfill({
      status: 200,
      contentType: 'application/javascript',
      headers: { 'Access-Control-Allow-Origin': '*' },
      body: htmx,
    });
  }
  return route.abort();
});

const errors = [];
async function openPage() {
  const page = await context.newPage();
  page.on('pageerror', (error) => errors.push(error.message));
  const socket = page.waitForEvent('websocket');
  await page.goto(viewerUrl);
  const ws = await socket;
  await ws.waitForEvent('framereceived');
  return page;
}

const activeOf = (page, id) => page.evaluate(
  (name) => document.getElementById(name)?.querySelector('button.active')?.textContent ?? null, id);

async function waitFor(page, predicate, arg, what) {
  try {
    await page.waitForFunction(predicate, arg, { timeout: 15000 });
  } catch (error) {
    throw new Error(`timed out waiting for ${what}`);
  }
}

let failed = false;
try {
  const first = await openPage();
  const second = await openPage();
  check(await first.evaluate(() => typeof window.htmx === 'object'), 'htmx loaded with its integrity hash');
  check(await first.locator('.title', { hasText: '<b>bold</b>' }).count() === 1,
    'a name with markup is shown as text');
  const titles = await first.locator('.title').allTextContents();
  check(JSON.stringify(titles) === JSON.stringify(['<b>bold</b>', 'gripper', 'lamp', 'speed']),
    'signals are listed in byte order of their names');

  check(await activeOf(first, 'lamp') === '0' && await activeOf(second, 'lamp') === '0', 'lamp starts at 0');
  await first.locator('#lamp').getByRole('button', { name: '1', exact: true }).click();
  await waitFor(first, () => document.querySelector('#lamp button.active')?.textContent === '1', null, 'lamp 1 in page one');
  await waitFor(second, () => document.querySelector('#lamp button.active')?.textContent === '1', null, 'lamp 1 in page two');
  check(true, 'clicking 1 in one page makes it active in both');

  await first.locator('#lamp input[name="interval"]').fill('0.3');
  await first.locator('#lamp').getByRole('button', { name: 'Toggle' }).click();
  await waitFor(second, () => document.querySelector('#lamp button[value="stop"]') !== null, null, 'the Stop button');
  check(true, 'a repeating toggle shows Stop in the other page');
  const lampIs = (value) => document.querySelector('#lamp button.active')?.textContent === value;
  const shown = await activeOf(second, 'lamp');
  const other = shown === '1' ? '0' : '1';
  await waitFor(second, lampIs, other, `the toggle to show lamp ${other}`);
  await waitFor(second, lampIs, shown, `the toggle to show lamp ${shown} again`);
  check(true, 'the repeating toggle flips the value visibly, back and forth');
  await first.screenshot({ path: path.join(artifacts, 'viewer.png'), fullPage: true });

  await first.locator('#lamp').getByRole('button', { name: 'Stop' }).click();
  await waitFor(first, () => document.querySelector('#lamp button[value="toggle"]') !== null, null, 'Toggle again in page one');
  await waitFor(second, () => document.querySelector('#lamp button[value="toggle"]') !== null, null, 'Toggle again in page two');
  const settled = await activeOf(second, 'lamp');
  await second.waitForTimeout(800);
  check(await activeOf(second, 'lamp') === settled, 'Stop ends the repetition');

  await first.locator('#speed input[name="value"]').fill('1.25');
  await first.locator('#speed').getByRole('button', { name: 'Set' }).click();
  await waitFor(second, () => document.querySelector('#speed input[name="value"]')?.value === '1.250000', null, 'speed 1.25');
  check(true, 'an analog value set in one page reaches the other');
  const bold = (page) => page.evaluate(
    () => document.getElementById('<b>bold</b>')?.querySelector('button.active')?.textContent ?? null);
  await first.locator('[id="<b>bold</b>"]').getByRole('button', { name: '1', exact: true }).click();
  for (const page of [first, second]) {
    await waitFor(page, () => document.getElementById('<b>bold</b>')?.querySelector('button.active')?.textContent === '1',
      null, 'the markup-named signal at 1');
  }
  check(await bold(first) === '1' && await bold(second) === '1',
    'a signal whose name is no CSS identifier is updated live too');
  check(errors.length === 0, `no script errors (${errors.join('; ')})`);
} catch (error) {
  failed = true;
  console.error(`not ok - ${error.message}`);
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
