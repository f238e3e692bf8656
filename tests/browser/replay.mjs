// Real-browser check of the replay page: velmor-mirava --replay shows the
// recorded robot on a timeline; play, pause, speed and the slider move it, and
// the I/O changes are marked on the timeline and shown at their times.
// Usage: node replay.mjs <velmor-mirava executable> <recording> <expected.json> <artifacts-dir>
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { chromium } from 'playwright-core';

const [executable, recording, expectedFile, artifacts = '.'] = process.argv.slice(2);
if (!executable || !recording || !expectedFile) {
  console.error('usage: node replay.mjs <velmor-mirava executable> <recording> <expected.json> <artifacts-dir>');
  process.exit(2);
}
const expected = JSON.parse(fs.readFileSync(expectedFile, 'utf8'));

function check(condition, text) {
  if (!condition) {
    throw new Error(`not ok - ${text}`);
  }
  console.log(`ok - ${text}`);
}

function startApplication() {
  const child = spawn(executable, ['--address', '127.0.0.1:0', '--replay', recording],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  const log = fs.createWriteStream(path.join(artifacts, 'replay.log'));
  child.stderr.pipe(log);
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

const jointTexts = (page) => page.$$eval('#joints td.value', (cells) => cells.map((cell) => cell.textContent));
const ioValue = (page, name) => page.$eval(`#replay-io td[data-signal="${name}"]`, (cell) => cell.textContent);
const replayTime = (page) => page.evaluate(() => window.miravaReplay.state.time);

// Moves the slider as a person dragging it would: its value, then an input event.
async function scrub(page, time) {
  await page.$eval('#replay-slider', (slider, value) => {
    slider.value = String(value);
    slider.dispatchEvent(new Event('input', { bubbles: true }));
  }, time);
}

async function checkReplay(context) {
  const application = startApplication();
  try {
    const url = await application.url;
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.setViewportSize({ width: 1000, height: 700 });
    await page.goto(url);
    await page.waitForFunction(() => window.miravaReplay !== undefined);
    check((await page.textContent('#connection')).startsWith('replay of replay_run.jsonl'),
      'the overlay says which recording is replayed');
    const duration = await page.evaluate(() => window.miravaReplay.duration);
    check(Math.abs(duration - expected.duration) < 1e-9, `the timeline spans the recorded ${duration.toFixed(3)} s`);
    check(await page.evaluate(() => window.miravaReplay.ioMarks()) === expected.io.length,
      `the ${expected.io.length} I/O changes are marked on the timeline`);
    check(await ioValue(page, 'gripper') === '0', 'the I/O panel starts with the value before the first change');

    const [name, value, time] = expected.io[0];
    await scrub(page, time);
    check(await ioValue(page, name) === String(value), `the I/O panel shows ${name} = ${value} from ${time.toFixed(3)} s`);
    await scrub(page, expected.first_end);
    check(JSON.stringify(await jointTexts(page)) === JSON.stringify(expected.goal_degrees.map((v) => `${v.toFixed(1)}°`)),
      'scrubbed to the end of the first motion, the robot stands at its goal');
    await page.screenshot({ path: path.join(artifacts, 'replay_scrubbed.png') });

    await scrub(page, duration);
    check((await jointTexts(page)).every((text) => text === '0.0°'), 'at the end the robot is back at zero');
    check(await ioValue(page, 'gripper') === '0', 'at the end the gripper is open again');

    await scrub(page, 0);
    await page.selectOption('#replay-speed', '4');
    await page.click('#replay-play');
    await page.waitForFunction(() => window.miravaReplay.state.time > 0.5);
    const played = await page.evaluate(() => window.miravaReplay.state);
    check(played.playing && played.speed === 4, 'play runs the replay at the chosen speed');
    await page.click('#replay-play');
    const paused = await replayTime(page);
    await page.waitForTimeout(300);
    check(await replayTime(page) === paused && paused > 0.5, `pause holds the replay at ${paused.toFixed(3)} s`);
    check(await page.textContent('#replay-play') === '▶ play', 'the button offers to play again');
    await page.click('#replay-play');
    await page.waitForFunction(() => !window.miravaReplay.state.playing, null, { timeout: 30000 });
    check(await replayTime(page) === duration, 'played to the end, the replay stops there');
    await page.screenshot({ path: path.join(artifacts, 'replay_end.png') });
    check(errors.length === 0, `no script errors (${errors.join('; ')})`);
    await page.close();
  } finally {
    application.child.kill('SIGTERM');
  }
  const { code, signal } = await application.exited;
  check(code === 0 && signal === null, 'velmor-mirava ends cleanly on SIGTERM');
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'velmor-replay-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  // WebGL without a GPU needs the software rasteriser.
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
});
await context.route('**/*', (route) => {
  const host = new URL(route.request().url()).hostname;
  return host === '127.0.0.1' || host === 'localhost' ? route.continue() : route.abort();
});

let failed = false;
try {
  await checkReplay(context);
} catch (error) {
  console.error(error.message);
  failed = true;
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
