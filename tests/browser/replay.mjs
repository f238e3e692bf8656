// Real-browser check of the replay page: velmor-mirava --replay shows the
// recorded robot on a timeline; play, pause, speed and the slider move it, and
// the I/O changes are marked on the timeline and shown at their times.
// Usage: node replay.mjs <velmor-mirava executable> <recording> <expected.json> <artifacts-dir>
import fs from 'node:fs';
import path from 'node:path';
import { check, openPage, runInBrowser, startApplication as start } from './mirava_harness.mjs';

const [executable, recording, expectedFile, artifacts = '.'] = process.argv.slice(2);
if (!executable || !recording || !expectedFile) {
  console.error('usage: node replay.mjs <velmor-mirava executable> <recording> <expected.json> <artifacts-dir>');
  process.exit(2);
}
const expected = JSON.parse(fs.readFileSync(expectedFile, 'utf8'));

const startApplication = () => start(executable, ['--replay', recording], path.join(artifacts, 'replay.log'));

const jointTexts = (page) => page.$$eval('#joints td.value', (cells) => cells.map((cell) => cell.textContent));
const ioValue = (page, name) => page.$eval(`#replay-io td[data-signal="${name}"]`, (cell) => cell.textContent);
const replayTime = (page) => page.evaluate(() => window.miravaReplay.state.time);

// Keeps in window.replayPress the replay's state as each press of the play button
// lands (`before`, ahead of the button's handler) and as its handling ends (`after`).
const notePresses = (page) => page.evaluate(() => {
  const isPlay = (event) => event.target.id === 'replay-play';
  document.addEventListener('click', (event) => {
    if (isPlay(event)) window.replayPress = { before: { ...window.miravaReplay.state } };
  }, { capture: true });
  document.addEventListener('click', (event) => {
    if (isPlay(event)) window.replayPress.after = { ...window.miravaReplay.state };
  });
});

// Resolves once the page has drawn `count` more animation frames.
const animationFrames = (page, count) => page.evaluate((left) => new Promise((resolve) => {
  const next = () => (left-- > 0 ? requestAnimationFrame(next) : resolve());
  next();
}), count);

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
    const { page, errors } = await openPage(context, url, 1000, 700);
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

    // A quarter of real speed leaves seconds of replay before its end however long
    // the click takes to land: a press after the end would play it again instead.
    await scrub(page, 0);
    await page.selectOption('#replay-speed', '0.25');
    await page.click('#replay-play');
    await page.waitForFunction(() => window.miravaReplay.state.time > 0.1);
    const played = await page.evaluate(() => window.miravaReplay.state);
    check(played.playing && played.speed === 0.25, 'play runs the replay at the chosen speed');
    await notePresses(page);
    await page.click('#replay-play');
    const pause = await page.evaluate(() => window.replayPress);
    check(pause.before.playing, `pause was pressed while the replay played (${pause.before.time.toFixed(3)} s)`);
    check(!pause.after.playing && pause.after.time === pause.before.time,
      `pause holds the replay at ${pause.before.time.toFixed(3)} s, where it was pressed`);
    await animationFrames(page, 10);
    check(await replayTime(page) === pause.before.time, 'the paused replay stays there while the page draws on');
    check(await page.textContent('#replay-play') === '▶ play', 'the button offers to play again');
    await page.selectOption('#replay-speed', '4');
    await page.click('#replay-play');
    const resume = await page.evaluate(() => window.replayPress);
    check(resume.after.playing && resume.after.time === pause.before.time, 'play goes on from where the replay paused');
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

await runInBrowser('velmor-replay-', checkReplay);
