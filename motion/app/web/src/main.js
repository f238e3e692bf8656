// The Mirava page: draws the robot described by /robot.json and moves it to
// every joint position the application relays over the WebSocket /page.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { loadReplay, startReplay } from './replay.js';

const view = document.getElementById('view');
const connectionLine = document.getElementById('connection');
const jointsTable = document.getElementById('joints');

// Read by the browser test: frames drawn and positions shown so far.
const stats = { frames: 0, positions: 0 };
window.miravaStats = stats;

function matrixFromRows(values) {
  const m = new THREE.Matrix4();
  m.set(...values);
  return m;
}

// Standard Denavit-Hartenberg transform of one revolute joint at `q` [rad].
function dhMatrix(dh, q) {
  const theta = q + dh.theta;
  const ct = Math.cos(theta), st = Math.sin(theta);
  const ca = Math.cos(dh.alpha), sa = Math.sin(dh.alpha);
  return new THREE.Matrix4().set(
    ct, -st * ca, st * sa, dh.a * ct,
    st, ct * ca, -ct * sa, dh.a * st,
    0, sa, ca, dh.d,
    0, 0, 0, 1);
}

function makeScene() {
  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0x20242a);
  scene.add(new THREE.HemisphereLight(0xffffff, 0x404050, 2.0));
  const sun = new THREE.DirectionalLight(0xffffff, 2.0);
  sun.position.set(2, -3, 4);
  scene.add(sun);
  const grid = new THREE.GridHelper(4, 40, 0x8090a0, 0x3a424c);
  grid.rotation.x = Math.PI / 2; // the robots' world has z up
  scene.add(grid);
  scene.add(new THREE.AxesHelper(0.3));
  return scene;
}

const linkMaterial = new THREE.MeshStandardMaterial({ color: 0xb8c4d0, metalness: 0.3, roughness: 0.5 });
const jointMaterial = new THREE.MeshStandardMaterial({ color: 0x2f81f7, metalness: 0.2, roughness: 0.4 });
const unitCylinder = new THREE.CylinderGeometry(1, 1, 1, 20);
const yAxis = new THREE.Vector3(0, 1, 0);

// Places a cylinder of radius `r` between two points; hides it when they coincide.
function placeCylinder(mesh, from, to, r) {
  const direction = new THREE.Vector3().subVectors(to, from);
  const length = direction.length();
  mesh.visible = length > 1e-6;
  if (!mesh.visible) return;
  mesh.position.copy(from).addScaledVector(direction, 0.5);
  mesh.quaternion.setFromUnitVectors(yAxis, direction.divideScalar(length));
  mesh.scale.set(r, length, r);
}

// One arm: meshes built once, moved by update().
class ArmView {
  constructor(scene, model) {
    this.model = model;
    this.base = matrixFromRows(model.base);
    this.tool = matrixFromRows(model.tool_offset);
    this.links = [];
    this.joints = [];
    this.frames = [];
    for (let i = 0; i < model.dh.length; ++i) {
      const along = [new THREE.Mesh(unitCylinder, linkMaterial), new THREE.Mesh(unitCylinder, linkMaterial)];
      along.forEach((mesh) => scene.add(mesh));
      this.links.push(along);
      const joint = new THREE.Mesh(unitCylinder, jointMaterial);
      scene.add(joint);
      this.joints.push(joint);
    }
    for (let i = 0; i <= model.dh.length; ++i) {
      const axes = new THREE.AxesHelper(0.08);
      axes.matrixAutoUpdate = false;
      scene.add(axes);
      this.frames.push(axes);
    }
    this.toolAxes = new THREE.AxesHelper(0.15);
    this.toolAxes.matrixAutoUpdate = false;
    scene.add(this.toolAxes);
  }

  update(position) {
    let transform = this.base.clone();
    this.frames[0].matrix.copy(transform);
    for (let i = 0; i < this.model.dh.length; ++i) {
      const dh = this.model.dh[i];
      const origin = new THREE.Vector3().setFromMatrixPosition(transform);
      const z = new THREE.Vector3().setFromMatrixColumn(transform, 2).normalize();
      // Joint i turns about the z axis of the frame before it: d runs along that axis, a along the new x.
      placeCylinder(this.joints[i], origin.clone().addScaledVector(z, -0.045), origin.clone().addScaledVector(z, 0.045), 0.04);
      transform = transform.multiply(dhMatrix(dh, position[this.model.first_joint + i] ?? 0));
      const elbow = origin.clone().addScaledVector(z, dh.d);
      const next = new THREE.Vector3().setFromMatrixPosition(transform);
      placeCylinder(this.links[i][0], origin, elbow, 0.03);
      placeCylinder(this.links[i][1], elbow, next, 0.03);
      this.frames[i + 1].matrix.copy(transform);
    }
    this.toolAxes.matrix.copy(transform.multiply(this.tool));
  }
}

function buildOverlay(model) {
  document.getElementById('robot').textContent = `Mirava: ${model.name}`;
  const cells = [];
  model.arms.forEach((arm, a) => {
    arm.dh.forEach((_, i) => {
      const row = jointsTable.insertRow();
      // Arms of one model share a name, so several arms are told apart by number.
      row.insertCell().textContent = model.arms.length > 1 ? `A${a + 1} J${i + 1}` : `J${i + 1}`;
      const cell = row.insertCell();
      cell.className = 'value';
      cell.dataset.joint = String(arm.first_joint + i);
      cells[arm.first_joint + i] = cell;
    });
  });
  return cells;
}

function showJoints(cells, position) {
  position.forEach((q, i) => {
    if (cells[i]) cells[i].textContent = `${(q * 180 / Math.PI).toFixed(1)}°`;
  });
}

function showConnection(pageConnected, driverConnected) {
  connectionLine.className = pageConnected && driverConnected ? 'up' : 'down';
  connectionLine.textContent = !pageConnected ? 'disconnected from Mirava'
    : driverConnected ? 'driver connected' : 'waiting for a driver';
}

function connect(onPosition) {
  const socket = new WebSocket(`ws://${location.host}/page`);
  socket.onmessage = (event) => {
    const message = JSON.parse(event.data);
    if (message.type === 'status') showConnection(true, message.driver_connected);
    else if (message.type === 'joint_position') onPosition(message.position);
  };
  socket.onclose = () => {
    showConnection(false, false);
    setTimeout(() => connect(onPosition), 1000);
  };
}

async function main() {
  const model = await (await fetch('/robot.json')).json();
  const scene = makeScene();
  const camera = new THREE.PerspectiveCamera(45, 1, 0.01, 100);
  camera.up.set(0, 0, 1);

  const renderer = new THREE.WebGLRenderer({ antialias: true });
  renderer.setPixelRatio(window.devicePixelRatio);
  view.appendChild(renderer.domElement);
  // Aim at the middle of the arms' bases, from farther away the farther apart they stand.
  const bases = model.arms.map((arm) => new THREE.Vector3().setFromMatrixPosition(matrixFromRows(arm.base)));
  const centre = bases.reduce((sum, base) => sum.add(base), new THREE.Vector3()).divideScalar(bases.length);
  const spread = Math.max(...bases.map((base) => base.distanceTo(centre)));
  const controls = new OrbitControls(camera, renderer.domElement);
  controls.target.set(centre.x, centre.y, centre.z + 0.4);
  camera.position.copy(controls.target).add(new THREE.Vector3(1.6, -1.8, 0.8).multiplyScalar(1 + spread));
  controls.enableDamping = true;

  const arms = model.arms.map((arm) => new ArmView(scene, arm));
  const cells = buildOverlay(model);
  const show = (position) => {
    arms.forEach((arm) => arm.update(position));
    showJoints(cells, position);
  };
  show(new Array(model.degrees_of_freedom).fill(0));

  const resize = () => {
    renderer.setSize(view.clientWidth, view.clientHeight);
    camera.aspect = view.clientWidth / view.clientHeight;
    camera.updateProjectionMatrix();
  };
  window.addEventListener('resize', resize);
  resize();

  const replay = await loadReplay();
  if (replay) {
    startReplay(replay, model, show, connectionLine);
  } else {
    connect((position) => {
      stats.positions += 1;
      show(position);
    });
  }
  renderer.setAnimationLoop(() => {
    controls.update();
    renderer.render(scene, camera);
    stats.frames += 1;
  });
}

main().catch((error) => {
  connectionLine.className = 'down';
  connectionLine.textContent = `error: ${error.message}`;
});
