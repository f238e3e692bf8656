// Replay of a recorded run: a timeline under the view with play, pause, speed
// and a slider to scrub, the commands and I/O changes marked on it, and the
// I/O values at the shown time in a panel of their own.

const SPEEDS = [0.1, 0.25, 0.5, 1, 2, 4, 10];

const STYLE = `
  #timeline {
    position: absolute; left: 10px; right: 10px; bottom: 10px; padding: 8px 12px; border-radius: 6px;
    display: flex; align-items: center; gap: 10px;
    background: rgba(10, 12, 16, 0.8); color: #e8eaed; font: 13px/1.4 monospace;
  }
  #timeline button, #timeline select {
    font: inherit; color: inherit; background: #2d333b; border: 1px solid #444c56; border-radius: 4px; padding: 2px 8px;
  }
  #timeline .track { position: relative; flex: 1; height: 34px; }
  #timeline input[type=range] { position: absolute; left: 0; right: 0; top: 14px; width: 100%; margin: 0; }
  #timeline .mark { position: absolute; width: 2px; margin-left: -1px; }
  #timeline .mark.io { top: 0; height: 12px; background: #f0b72f; }
  #timeline .mark.command { top: 0; height: 8px; background: #768390; }
  #timeline .clock { min-width: 17ch; text-align: right; }
  #io-panel {
    position: absolute; top: 10px; right: 10px; padding: 8px 12px; border-radius: 6px;
    background: rgba(10, 12, 16, 0.75); color: #e8eaed; font: 13px/1.4 monospace; max-height: 60%; overflow: auto;
  }
  #io-panel h2 { font-size: 13px; margin: 0 0 4px; }
  #io-panel td { padding: 0 6px 0 0; }
  #io-panel td.value { text-align: right; min-width: 5ch; }
  #io-panel tr.changed td { color: #f0b72f; }
`;

// The replay data of the application with the obstacles recorded (or given) for it,
// or null when it shows drivers live.
export async function loadReplay() {
  const view = await (await fetch('/view.json')).json();
  if (!view.replay) return null;
  const response = await fetch('/replay.json');
  if (!response.ok) throw new Error(`the replay cannot be loaded: ${response.status}`);
  return { ...(await response.json()), obstacles: view.obstacles };
}

function element(tag, properties = {}, parent = null) {
  const made = Object.assign(document.createElement(tag), properties);
  if (parent) parent.appendChild(made);
  return made;
}

// Index of the last sample at or before `time`.
function sampleBefore(times, time) {
  let low = 0;
  let high = times.length - 1;
  while (low < high) {
    const middle = (low + high + 1) >> 1;
    if (times[middle] <= time) low = middle;
    else high = middle - 1;
  }
  return low;
}

// The recorded joints at `time`, linearly between samples.
function positionAt(replay, time) {
  const { times, positions } = replay;
  if (times.length === 0) return [];
  const k = sampleBefore(times, time);
  if (k + 1 >= times.length || times[k + 1] === times[k]) return positions[k];
  const share = Math.min(1, Math.max(0, (time - times[k]) / (times[k + 1] - times[k])));
  return positions[k].map((q, j) => q + (positions[k + 1][j] - q) * share);
}

// Each signal's value at `time`: the value of its last change up to then, or the one before its first change.
function ioAt(replay, time) {
  const values = new Map();
  for (const change of replay.io) {
    if (!values.has(change.name)) values.set(change.name, { value: change.old, changed: false });
    if (change.time <= time) values.set(change.name, { value: change.new, changed: true, at: change.time });
  }
  return values;
}

const seconds = (value) => `${value.toFixed(3)} s`;

function describeChange(change) {
  const old = change.old === null ? 'created' : change.old;
  return `${change.name}: ${old} → ${change.new} (${change.source}) at ${seconds(change.time)}`;
}

function buildTimeline(replay) {
  element('style', { textContent: STYLE }, document.head);
  const bar = element('div', { id: 'timeline' }, document.body);
  const play = element('button', { id: 'replay-play', textContent: '▶ play' }, bar);
  const speed = element('select', { id: 'replay-speed', title: 'replay speed' }, bar);
  for (const factor of SPEEDS) {
    element('option', { value: String(factor), textContent: `${factor}×`, selected: factor === 1 }, speed);
  }
  const track = element('div', { className: 'track' }, bar);
  const slider = element('input', {
    id: 'replay-slider', type: 'range', min: '0', max: String(replay.duration), step: 'any', value: '0',
  }, track);
  const place = (time) => `${replay.duration > 0 ? (100 * time) / replay.duration : 0}%`;
  for (const command of replay.commands) {
    element('div', {
      className: 'mark command', title: `${command.index} ${command.kind} ${command.arguments}`,
    }, track).style.left = place(command.start_time);
  }
  for (const change of replay.io) {
    element('div', { className: 'mark io', title: describeChange(change) }, track).style.left = place(change.time);
  }
  const clock = element('span', { id: 'replay-clock', className: 'clock' }, bar);

  const panel = element('div', { id: 'io-panel' }, document.body);
  element('h2', { textContent: 'I/O' }, panel);
  const table = element('table', { id: 'replay-io' }, panel);
  const rows = new Map();
  for (const name of [...new Set(replay.io.map((change) => change.name))].sort()) {
    const row = table.insertRow();
    row.insertCell().textContent = name;
    const cell = row.insertCell();
    cell.className = 'value';
    cell.dataset.signal = name;
    rows.set(name, { row, cell });
  }
  if (rows.size === 0) panel.hidden = true;
  return { play, speed, slider, clock, rows };
}

// Starts the replay; `show` moves the drawn robot to a whole robot's joint position at a recorded time.
export function startReplay(replay, model, show, statusLine) {
  const ui = buildTimeline(replay);
  statusLine.className = 'up';
  statusLine.textContent = `replay of ${replay.file}`;
  const whole = new Array(model.degrees_of_freedom).fill(0);
  const state = { time: 0, playing: false, speed: 1, frames: 0 };
  // Read by the browser test.
  window.miravaReplay = {
    state,
    duration: replay.duration,
    ioMarks: () => document.querySelectorAll('#timeline .mark.io').length,
  };

  const render = () => {
    positionAt(replay, state.time).forEach((q, j) => { whole[replay.joint_offset + j] = q; });
    show(whole, [], state.time);
    ui.slider.value = String(state.time);
    ui.clock.textContent = `${seconds(state.time)} / ${seconds(replay.duration)}`;
    for (const [name, { value, changed }] of ioAt(replay, state.time)) {
      const { row, cell } = ui.rows.get(name);
      cell.textContent = value === null ? '–' : String(value);
      row.className = changed ? 'changed' : '';
    }
    ui.play.textContent = state.playing ? '⏸ pause' : '▶ play';
  };
  const setPlaying = (playing) => {
    // Playing from the end starts again at the beginning.
    if (playing && state.time >= replay.duration) state.time = 0;
    state.playing = playing;
    render();
  };

  ui.play.addEventListener('click', () => setPlaying(!state.playing));
  ui.speed.addEventListener('change', () => { state.speed = Number(ui.speed.value); });
  ui.slider.addEventListener('input', () => {
    state.time = Math.min(replay.duration, Math.max(0, Number(ui.slider.value)));
    render();
  });

  let last = performance.now();
  const tick = (now) => {
    if (state.playing) {
      state.time += ((now - last) / 1000) * state.speed;
      if (state.time >= replay.duration) {
        state.time = replay.duration;
        state.playing = false;
      }
      render();
    }
    last = now;
    requestAnimationFrame(tick);
  };
  render();
  requestAnimationFrame(tick);
}
