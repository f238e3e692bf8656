// Real-browser check of the robot page for a robot read from its description:
// velmor-mirava --robot FILE.urdf draws the arm from its shapes and its STL mesh,
// the camera orbits, pans, zooms and resets, the tool's path is drawn on demand,
// and a replay shows the obstacle recorded with the run. No request may fail.
// Usage: node robot_page.mjs <velmor-mirava executable> <robot.urdf> <recording> <expected.json> <artifacts-dir>
import fs from 'node:fs';
import path from 'node:path';
import { check, differingShare, openPage, runInBrowser, startApplication as start } from './mirava_harness.mjs';

const [executable, robot, recording, expectedFile, artifacts = '.'] = process.argv.slice(2);
if (!executable || !robot || !recording || !expectedFile) {
  console.error('usage: node robot_page.mjs <velmor-mirava executable> <robot.urdf> <recording> <expected.json> <artifacts-dir>');
  process.exit(2);
}
const expected = JSON.parse(fs.readFileSync(expectedFile, 'utf8'));
// The seven-axis arm: a shape for each of its eight links, the flange's being its mesh.
const SHAPES = 8;

const startApplication = (extra, log) => start(executable, ['--robot', robot, ...extra], path.join(artifacts, log));

// Opens the page and collects what its console reports as errors and every failed request.
async function openWatched(context, url) {
  const { page, errors } = await openPage(context, url, 1000, 700);
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  page.on('response', (response) => { if (response.status() >= 400) errors.push(`${response.status()} ${response.url()}`); });
  page.on('requestfailed', (request) => errors.push(`failed ${request.url()}`));
  return { page, errors };
}

const settle = (page) => page.evaluate(() => new Promise((resolve) => {
  let left = 3;
  const next = () => (left-- > 0 ? requestAnimationFrame(next) : resolve());
  next();
}));
const cameraAt = (page) => page.evaluate(() => window.miravaStats.camera);
const distance = (a, b) => Math.hypot(...a.map((value, i) => value - b[i]));
// Waits until the camera stands still (its motion damped out) and returns where.
async function cameraAtRest(page) {
  let last = await cameraAt(page);
  for (let tries = 0; tries < 200; ++tries) {
    await settle(page);
    const now = await cameraAt(page);
    if (distance(now, last) < 1e-6) return now;
    last = now;
  }
  throw new Error('not ok - the camera never comes to rest');
}
async function drag(page, button, from, by) {
  await page.mouse.move(...from);
  await page.mouse.down({ button });
  await page.mouse.move(from[0] + by[0], from[1] + by[1], { steps: 8 });
  await page.mouse.up({ button });
}
async function scrub(page, time) {
  await page.$eval('#replay-slider', (slider, value) => {
    slider.value = String(value);
    slider.dispatchEvent(new Event('input', { bubbles: true }));
  }, time);
  await settle(page);
}
// A screenshot of the 3D view alone, the panels over it hidden.
async function bareView(page) {
  const panels = '#overlay, #timeline, #io-panel';
  await page.$$eval(panels, (shown) => shown.forEach((panel) => { panel.style.visibility = 'hidden'; }));
  const image = await page.screenshot();
  await page.$$eval(panels, (hidden) => hidden.forEach((panel) => { panel.style.visibility = ''; }));
  return image;
}
const nothing = { x: 0, y: 0, width: 0, height: 0 };
const jointTexts = (page) => page.$$eval('#joints td.value', (cells) => cells.map((cell) => cell.textContent));

async function checkCamera(page) {
  const start = await cameraAtRest(page);
  await drag(page, 'left', [600, 350], [120, 40]);
  const orbited = await cameraAtRest(page);
  check(distance(orbited, start) > 0.1, 'dragging with the left button orbits the camera');
  await drag(page, 'right', [600, 350], [-80, 60]);
  const panned = await cameraAtRest(page);
  check(distance(panned, orbited) > 0.05, 'dragging with the right button pans the camera');
  const target = await page.evaluate(() => window.miravaStats.cameraTarget);
  await page.mouse.move(600, 350);
  await page.mouse.wheel(0, -400);
  const zoomed = await cameraAtRest(page);
  check(distance(zoomed, target) < distance(panned, target) - 0.05, 'the wheel zooms in');
  await page.click('#camera-reset');
  const reset = await cameraAtRest(page);
  check(distance(reset, start) < 1e-3, 'the reset button puts the camera back where it started');
}

async function checkReplay(context) {
  const application = startApplication(['--replay', recording], 'robot_page_replay.log');
  try {
    const url = await application.url;
    const { page, errors } = await openWatched(context, url);
    await page.waitForFunction(() => window.miravaReplay !== undefined && window.miravaStats.robot.meshesLoaded >= 1);
    check(await page.evaluate(() => window.miravaStats.robot.shapes) === SHAPES,
      `the arm is drawn from its ${SHAPES} link shapes, the flange's STL mesh loaded`);
    check((await jointTexts(page)).length === 7, 'the overlay lists the seven joints');
    await page.waitForFunction((count) => window.miravaStats.obstacles === count, expected.obstacles.length);
    check(true, `the replay shows the ${expected.obstacles.length} obstacle recorded with the run`);

    const still = await bareView(page);
    await scrub(page, expected.first_end);
    check(JSON.stringify(await jointTexts(page)) === JSON.stringify(expected.goal_degrees.map((v) => `${v.toFixed(1)}°`)),
      'scrubbed to the end of the first motion, the arm stands at its goal');
    await page.screenshot({ path: path.join(artifacts, 'robot_page_goal.png') });
    const share = await differingShare(context, still, await bareView(page), nothing);
    check(share > 0.003, `the drawn arm moved (${(share * 100).toFixed(2)} % of the pixels changed)`);

    await checkCamera(page);

    await scrub(page, 0);
    await page.click('#path-toggle');
    // A quarter of real speed draws a path of many points however slowly the page draws.
    await page.selectOption('#replay-speed', '0.25');
    await page.click('#replay-play');
    await page.waitForFunction((end) => window.miravaStats.pathPoints > 10 && window.miravaReplay.state.time > end,
      expected.first_end);
    if (await page.evaluate(() => window.miravaReplay.state.playing)) await page.click('#replay-play');
    check(true, 'with the switch on, the tool\'s path is drawn while the replay plays');
    await settle(page);
    await page.screenshot({ path: path.join(artifacts, 'robot_page_path.png') });
    const withPath = await bareView(page);
    await page.click('#path-toggle');
    await settle(page);
    const pathShare = await differingShare(context, withPath, await bareView(page), nothing);
    check(pathShare > 0.0002, `switched off, the path disappears (${(pathShare * 100).toFixed(3)} % of the pixels changed)`);
    check(errors.length === 0, `replay: no console errors or failed requests (${errors.join('; ')})`);
    await page.close();
  } finally {
    application.child.kill('SIGTERM');
  }
  await application.exited;
}

async function checkLive(context) {
  const application = startApplication([], 'robot_page_live.log');
  try {
    const url = await application.url;
    const { page, errors } = await openWatched(context, url);
    await page.waitForFunction(() => document.getElementById('connection').textContent === 'waiting for a driver'
      && window.miravaStats.robot.meshesLoaded >= 1);
    await settle(page);
    check(await page.evaluate(() => window.miravaStats.triangles) > 0, 'live: the described arm is drawn');
    await page.screenshot({ path: path.join(artifacts, 'robot_page_live.png') });
    check(errors.length === 0, `live: no console errors or failed requests (${errors.join('; ')})`);
    await page.close();
  } finally {
    application.child.kill('SIGTERM');
  }
  await application.exited;
}

await runInBrowser('velmor-robot-page-', async (context) => {
  await checkLive(context);
  await checkReplay(context);
});
