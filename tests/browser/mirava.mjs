// Real-browser check of the Mirava page: the arm moves when a driver sends
// positions, the overlay shows them, and the page keeps drawing while they change;
// the obstacles of a scene file and of the driver are drawn, and a link that
// touches one turns red.
// Usage: node mirava.mjs <velmor-mirava executable> <artifacts-dir>
import fs from 'node:fs';
import path from 'node:path';
import WebSocket from 'ws';
import { check, differingShare, openPage, runInBrowser, startApplication as start } from './mirava_harness.mjs';

const [executable, artifacts = '.'] = process.argv.slice(2);
if (!executable) {
  console.error('usage: node mirava.mjs <velmor-mirava executable> <artifacts-dir>');
  process.exit(2);
}
fs.mkdirSync(artifacts, { recursive: true });

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Starts the application for `robot` on a free port.
const startApplication = (robot, extra = []) =>
  start(executable, ['--robot', robot, ...extra], path.join(artifacts, `mirava_${robot}.log`));

function openDriver(url) {
  const socket = new WebSocket(url.replace('http://', 'ws://') + 'driver');
  return new Promise((resolve, reject) => {
    socket.on('open', () => resolve(socket));
    socket.on('error', reject);
  });
}

const sendPosition = (driver, position) => driver.send(JSON.stringify({ type: 'joint_position', position }));

// Share of pixels of a PNG screenshot that are the red of a link in contact.
async function redShare(context, image) {
  const page = await context.newPage();
  const share = await page.evaluate(async (data) => {
    const picture = new Image();
    picture.src = `data:image/png;base64,${data}`;
    await picture.decode();
    const canvas = new OffscreenCanvas(picture.width, picture.height);
    const drawing = canvas.getContext('2d');
    drawing.drawImage(picture, 0, 0);
    const pixels = drawing.getImageData(0, 0, picture.width, picture.height).data;
    let red = 0;
    for (let i = 0; i < pixels.length; i += 4) {
      if (pixels[i] > 150 && pixels[i + 1] < 90 && pixels[i + 2] < 90) red += 1;
    }
    return red / (pixels.length / 4);
  }, image.toString('base64'));
  await page.close();
  return share;
}

const jointTexts = (page) => page.$$eval('#joints td.value', (cells) => cells.map((cell) => cell.textContent));

async function checkRobot(context, robot, jointCount) {
  const application = startApplication(robot);
  try {
    const url = await application.url;
    const { page, errors } = await openPage(context, url, 800, 600);
    await page.waitForFunction(() => document.getElementById('connection').textContent === 'waiting for a driver');
    check((await jointTexts(page)).length === jointCount, `${robot}: the overlay lists ${jointCount} joints`);

    const driver = await openDriver(url);
    await page.waitForFunction(() => document.getElementById('connection').textContent === 'driver connected');
    check(true, `${robot}: the overlay shows the driver's connection`);

    const degrees = (values) => values.map((value) => value * Math.PI / 180);
    const first = new Array(jointCount).fill(0).map((_, i) => [0, -90, 90, -90, -90, 0][i % 6]);
    const second = new Array(jointCount).fill(0).map((_, i) => [30, -60, 45, -120, -90, 12.3][i % 6]);
    const shoot = async (values, name) => {
      const before = await page.evaluate(() => window.miravaStats.positions);
      sendPosition(driver, degrees(values));
      await page.waitForFunction((count) => window.miravaStats.positions > count, before);
      await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
      const file = path.join(artifacts, `mirava_${robot}_${name}.png`);
      const image = await page.screenshot({ path: file });
      return image;
    };
    const firstImage = await shoot(first, 'first');
    check(JSON.stringify(await jointTexts(page)) === JSON.stringify(first.map((v) => `${v.toFixed(1)}°`)),
      `${robot}: the overlay shows the first position in degrees`);
    const secondImage = await shoot(second, 'second');
    check(JSON.stringify(await jointTexts(page)) === JSON.stringify(second.map((v) => `${v.toFixed(1)}°`)),
      `${robot}: the overlay shows the second position in degrees`);
    const overlay = await page.locator('#overlay').boundingBox();
    const share = await differingShare(context, firstImage, secondImage, overlay);
    check(share > 0.005, `${robot}: the drawn arm moved (${(share * 100).toFixed(2)} % of the pixels changed)`);

    // Positions every 16 ms, as the driver sends them while a motion runs: for three
    // seconds, and on until the page has drawn and shown enough of them to judge,
    // however slowly a loaded machine draws.
    const enough = 20;
    const start = await page.evaluate(() => ({ ...window.miravaStats, time: performance.now() }));
    let end = start;
    for (let i = 0; i < 3750 && (i < 188 || end.frames - start.frames < enough
      || end.positions - start.positions < enough); ++i) {
      sendPosition(driver, degrees(first.map((v, j) => v + 20 * Math.sin(i / 20 + j))));
      await sleep(16);
      // Asked now and then only, so that the positions keep their pace.
      if (i % 16 === 15) end = await page.evaluate(() => ({ ...window.miravaStats, time: performance.now() }));
    }
    const seconds = (end.time - start.time) / 1000;
    const updates = (end.positions - start.positions) / seconds;
    console.log(`# ${robot}: ${((end.frames - start.frames) / seconds).toFixed(1)} frames/s drawn, `
      + `${updates.toFixed(1)} positions/s shown while moving`);
    check(end.frames - start.frames >= enough, `${robot}: the page keeps drawing while positions change`);
    check(end.positions - start.positions >= enough && updates <= 61,
      `${robot}: positions arrive, at most 60 per second`);

    driver.close();
    await page.waitForFunction(() => document.getElementById('connection').textContent === 'waiting for a driver');
    check(true, `${robot}: the page notices the driver leaving and stays open`);
    check(errors.length === 0, `${robot}: no script errors (${errors.join('; ')})`);
    await page.close();
  } finally {
    application.child.kill('SIGTERM');
  }
  const { code, signal } = await application.exited;
  check(code === 0 && signal === null, `${robot}: velmor-mirava ends cleanly on SIGTERM`);
}

// A scene with a table under the arm and a post across the stretched-out arm's forearm.
async function checkObstacles(context) {
  const scene = path.join(artifacts, 'mirava_scene.json');
  fs.writeFileSync(scene, JSON.stringify({ obstacles: [
    { name: 'table', shape: 'box', size: [1.6, 1.4, 0.04], frame: [-0.3, 0, -0.02, 0, 0, 0] },
    { name: 'post', shape: 'cylinder', radius: 0.05, length: 0.4, frame: [-0.6, 0, 0.2, 0, 0, 0] },
  ] }));
  const application = startApplication('ur5e', ['--scene', scene]);
  try {
    const url = await application.url;
    const { page, errors } = await openPage(context, url, 800, 600);
    await page.waitForFunction(() => window.miravaStats.obstacles === 2);
    check(true, 'scene: the page draws the two obstacles of the scene file');

    const driver = await openDriver(url);
    const overlay = await page.locator('#overlay').boundingBox();
    const settle = () => page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
    sendPosition(driver, [0, -Math.PI / 2, 0, -Math.PI / 2, 0, 0]);
    await page.waitForFunction(() => window.miravaStats.positions > 0 && window.miravaStats.linksInContact === 0);
    await settle();
    const clear = await page.screenshot({ path: path.join(artifacts, 'mirava_scene_clear.png') });
    sendPosition(driver, [0, 0, 0, 0, 0, 0]);
    await page.waitForFunction(() => window.miravaStats.linksInContact > 0);
    await settle();
    const touching = await page.screenshot({ path: path.join(artifacts, 'mirava_scene_touching.png') });
    const contact = await page.locator('#contact').textContent();
    check(contact.includes('forearm'), `scene: the overlay names the link touching the post (${contact})`);
    const [before, after] = [await redShare(context, clear), await redShare(context, touching)];
    check(after > before + 0.0005, `scene: the touching link is drawn red (${(before * 100).toFixed(2)} % -> `
      + `${(after * 100).toFixed(2)} % red pixels)`);

    driver.send(JSON.stringify({ type: 'obstacles', obstacles: [
      { name: 'table', shape: 'box', size: [1.6, 1.4, 0.04], frame: [-0.3, 0, -0.02, 0, 0, 0] }] }));
    await page.waitForFunction(() => window.miravaStats.obstacles === 1 && window.miravaStats.linksInContact === 0);
    await settle();
    const without = await page.screenshot({ path: path.join(artifacts, 'mirava_scene_driver.png') });
    const share = await differingShare(context, touching, without, overlay);
    check(share > 0.002, `scene: the driver's obstacles replace the scene's (${(share * 100).toFixed(2)} % of the `
      + 'pixels changed) and the link is no longer red');
    check(errors.length === 0, `scene: no script errors (${errors.join('; ')})`);
    driver.close();
    await page.close();
  } finally {
    application.child.kill('SIGTERM');
  }
  await application.exited;
}

await runInBrowser('velmor-mirava-', async (context) => {
  await checkRobot(context, 'ur5e', 6);
  await checkRobot(context, 'dual-arm', 12);
  await checkObstacles(context);
});
