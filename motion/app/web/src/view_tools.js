// The view's tools: a button that puts the camera back where it started, and a
// switch that draws the path the tool centre point took in the last seconds.
import * as THREE from 'three';

// How far back the tool's path reaches [s], and at most how many points it keeps.
export const PATH_SECONDS = 5;
const PATH_POINTS = 2000;

// The recent path of one arm's tool centre point, drawn as a line while shown.
export class ToolPath {
  constructor(scene) {
    this.times = [];
    this.points = [];
    this.positions = new Float32Array(PATH_POINTS * 3);
    const geometry = new THREE.BufferGeometry();
    geometry.setAttribute('position', new THREE.BufferAttribute(this.positions, 3));
    geometry.setDrawRange(0, 0);
    this.line = new THREE.Line(geometry, new THREE.LineBasicMaterial({ color: 0x58a6ff }));
    this.line.frustumCulled = false;
    this.line.name = 'tool-path';
    this.line.visible = false;
    scene.add(this.line);
  }

  // Adds where the tool is at `time` [s]; a time before the last one (a replay scrubbed
  // back) starts the path again.
  add(point, time) {
    if (this.times.length > 0 && time < this.times[this.times.length - 1]) this.clear();
    this.times.push(time);
    this.points.push(point.clone());
    let drop = 0;
    while (drop < this.times.length && (time - this.times[drop] > PATH_SECONDS || this.times.length - drop > PATH_POINTS)) {
      drop += 1;
    }
    this.times.splice(0, drop);
    this.points.splice(0, drop);
    this.points.forEach((p, i) => this.positions.set([p.x, p.y, p.z], i * 3));
    this.line.geometry.setDrawRange(0, this.points.length);
    this.line.geometry.attributes.position.needsUpdate = true;
  }

  clear() {
    this.times = [];
    this.points = [];
    this.line.geometry.setDrawRange(0, 0);
  }

  // Number of points drawn now (0 while hidden).
  drawn() {
    return this.line.visible ? this.points.length : 0;
  }
}

function button(parent, id, text, title) {
  const made = Object.assign(document.createElement('button'), { id, textContent: text, title });
  parent.appendChild(made);
  return made;
}

// Adds the tools to `parent`: a camera reset for `controls` (OrbitControls, whose
// current view becomes the one reset to) and a switch that shows or hides `paths`.
export function addViewTools(parent, controls, paths) {
  controls.saveState();
  const bar = Object.assign(document.createElement('div'), { id: 'tools' });
  parent.appendChild(bar);
  button(bar, 'camera-reset', 'reset view', 'put the camera back where it started').addEventListener('click', () => controls.reset());
  const toggle = button(bar, 'path-toggle', 'tool path: off', `draw the tool's path of the last ${PATH_SECONDS} s`);
  toggle.addEventListener('click', () => {
    const shown = !paths[0]?.line.visible;
    paths.forEach((path) => { path.line.visible = shown; });
    toggle.textContent = `tool path: ${shown ? 'on' : 'off'}`;
    toggle.classList.toggle('on', shown);
  });
}
