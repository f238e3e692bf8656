// What the browser tests of velmor-mirava share: checks that print TAP-like lines,
// the application started on a free port, and a headless Chromium that can draw
// WebGL and reaches nothing but the application.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { chromium } from 'playwright-core';

export function check(condition, text) {
  if (!condition) {
    throw new Error(`not ok - ${text}`);
  }
  console.log(`ok - ${text}`);
}

// Starts `executable` on a free port with `args`, its output logged to `logFile`;
// `url` resolves once it says where it listens.
export function startApplication(executable, args, logFile) {
  const child = spawn(executable, ['--address', '127.0.0.1:0', ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  // Both output streams write to the log, so neither may end it: it ends once the
  // child has exited and both streams are closed ('close'), after their last lines.
  const log = fs.createWriteStream(logFile);
  child.stderr.pipe(log, { end: false });
  child.on('close', () => log.end());
  const url = new Promise((resolve, reject) => {
    readline.createInterface({ input: child.stdout }).on('line', (line) => {
      log.write(`${line}\n`);
      const match = line.match(/at (http:\/\/\S+)/);
      if (match) resolve(match[1]);
    });
    child.on('exit', (code) => reject(new Error(`velmor-mirava ended with ${code} before listening`)));
  });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  return { child, url, exited };
}

// Opens `url` in a new page of `width` × `height` pixels; `errors` collects the page's script errors.
export async function openPage(context, url, width, height) {
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await page.setViewportSize({ width, height });
  await page.goto(url);
  return { page, errors };
}

// Share of pixels that differ between two PNG screenshots, outside `exclude` (a CSS-pixel rectangle).
export async function differingShare(context, first, second, exclude) {
  const page = await context.newPage();
  const share = await page.evaluate(async ({ a, b, box }) => {
    const load = async (data) => {
      const image = new Image();
      image.src = `data:image/png;base64,${data}`;
      await image.decode();
      const canvas = new OffscreenCanvas(image.width, image.height);
      const context = canvas.getContext('2d');
      context.drawImage(image, 0, 0);
      return context.getImageData(0, 0, image.width, image.height);
    };
    const [x, y] = [await load(a), await load(b)];
    let differing = 0;
    let counted = 0;
    for (let row = 0; row < x.height; ++row) {
      for (let column = 0; column < x.width; ++column) {
        if (column >= box.x && column < box.x + box.width && row >= box.y && row < box.y + box.height) continue;
        const i = 4 * (row * x.width + column);
        const delta = Math.abs(x.data[i] - y.data[i]) + Math.abs(x.data[i + 1] - y.data[i + 1])
          + Math.abs(x.data[i + 2] - y.data[i + 2]);
        counted += 1;
        if (delta > 48) differing += 1;
      }
    }
    return differing / counted;
  }, { a: first.toString('base64'), b: second.toString('base64'), box: exclude });
  await page.close();
  return share;
}

// Runs `checks` with a fresh browser context and exits the process: 0 when they pass.
export async function runInBrowser(profilePrefix, checks) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), profilePrefix));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    // WebGL without a GPU needs the software rasteriser.
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
  // Everything the page needs is served by the application itself.
  await context.route('**/*', (route) => {
    const host = new URL(route.request().url()).hostname;
    return host === '127.0.0.1' || host === 'localhost' ? route.continue() : route.abort();
  });
  let failed = false;
  try {
    await checks(context);
  } catch (error) {
    console.error(error.message);
    failed = true;
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exit(failed ? 1 : 0);
}
