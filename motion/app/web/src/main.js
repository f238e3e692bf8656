// The Mirava page: draws the robot described by /robot.json and the obstacles
// around it, moves the robot to every joint position the application relays over
// the WebSocket /page, and colours the links that touch something red.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { loadReplay, startReplay } from './replay.js';

const view = document.getElementById('view');
const connectionLine = document.getElementById('connection');
const jointsTable = document.getElementById('joints');
const contactLine = document.getElementById('contact');

// Read by the browser test: frames drawn, positions shown, obstacles drawn and links in contact.
const stats = { frames: 0, positions: 0, obstacles: 0, linksInContact: 0 };
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

const linkColour = 0xb8c4d0;
const contactColour = 0xff3b30;
const obstacleMaterial = new THREE.MeshStandardMaterial({
  color: 0xd29922, metalness: 0.1, roughness: 0.7, transparent: true, opacity: 0.8,
});
const yAxis = new THREE.Vector3(0, 1, 0);
// Bare segments of a link (radius 0) are drawn this thick [m].
const thinnest = 0.008;

// A capsule fixed in its link's frame, as a matrix that takes three's upright capsule there.
function capsuleMesh(capsule, material) {
  const start = new THREE.Vector3(...capsule.start);
  const end = new THREE.Vector3(...capsule.end);
  const direction = new THREE.Vector3().subVectors(end, start);
  const length = direction.length();
  const radius = Math.max(capsule.radius, thinnest);
  const mesh = new THREE.Mesh(new THREE.CapsuleGeometry(radius, length, 6, 16), material);
  mesh.matrixAutoUpdate = false;
  const place = new THREE.Matrix4().compose(
    start.clone().addScaledVector(direction, 0.5),
    length > 1e-9 ? new THREE.Quaternion().setFromUnitVectors(yAxis, direction.divideScalar(length))
      : new THREE.Quaternion(),
    new THREE.Vector3(1, 1, 1));
  return { mesh, place };
}

// One arm: meshes built once, moved by update(). Link i is drawn from its capsules in
// the frame after joint i; link 0, the base, in the base frame.
class ArmView {
  constructor(scene, model) {
    this.model = model;
    this.base = matrixFromRows(model.base);
    this.tool = matrixFromRows(model.tool_offset);
    this.frames = [];
    this.links = model.links.map((link) => {
      const material = new THREE.MeshStandardMaterial({ color: linkColour, metalness: 0.3, roughness: 0.5 });
      const capsules = link.capsules.map((capsule) => capsuleMesh(capsule, material));
      capsules.forEach(({ mesh }) => scene.add(mesh));
      return { name: link.name, material, capsules };
    });
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
    this.placeLink(0, transform);
    for (let i = 0; i < this.model.dh.length; ++i) {
      transform = transform.multiply(dhMatrix(this.model.dh[i], position[this.model.first_joint + i] ?? 0));
      this.frames[i + 1].matrix.copy(transform);
      this.placeLink(i + 1, transform);
    }
    this.toolAxes.matrix.copy(transform.multiply(this.tool));
  }

  placeLink(index, frame) {
    this.links[index]?.capsules.forEach(({ mesh, place }) => mesh.matrix.multiplyMatrices(frame, place));
  }

  // Colours red the links whose index is in `touching`; returns the names of those links.
  showContact(touching) {
    return this.links.filter((link, index) => {
      const inContact = touching.has(index);
      link.material.color.setHex(inContact ? contactColour : linkColour);
      return inContact;
    }).map((link) => link.name);
  }
}

// A shape of the scene, in the pose its frame [x, y, z, a, b, c] gives: R = Rz(a) Ry(b) Rx(c).
function obstacleMesh(obstacle) {
  let geometry;
  if (obstacle.shape === 'box') {
    geometry = new THREE.BoxGeometry(...obstacle.size);
  } else if (obstacle.shape === 'sphere') {
    geometry = new THREE.SphereGeometry(obstacle.radius, 32, 16);
  } else {
    // Three's cylinders stand along y, ours along z.
    geometry = new THREE.CylinderGeometry(obstacle.radius, obstacle.radius, obstacle.length, 32).rotateX(Math.PI / 2);
  }
  const mesh = new THREE.Mesh(geometry, obstacleMaterial);
  const [x, y, z, a, b, c] = obstacle.frame ?? [0, 0, 0, 0, 0, 0];
  mesh.position.set(x, y, z);
  mesh.rotation.set(c, b, a, 'ZYX');
  return mesh;
}

// The obstacles of the scene, replaced as a whole by every obstacles message.
class ObstaclesView {
  constructor(scene) {
    this.group = new THREE.Group();
    scene.add(this.group);
  }

  show(obstacles) {
    this.group.children.forEach((mesh) => mesh.geometry.dispose());
    this.group.clear();
    obstacles.forEach((obstacle) => this.group.add(obstacleMesh(obstacle)));
    stats.obstacles = obstacles.length;
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

function connect(onPosition, onObstacles) {
  const socket = new WebSocket(`ws://${location.host}/page`);
  socket.onmessage = (event) => {
    const message = JSON.parse(event.data);
    if (message.type === 'status') showConnection(true, message.driver_connected);
    else if (message.type === 'joint_position') onPosition(message.position, message.in_contact ?? []);
    else if (message.type === 'obstacles') onObstacles(message.obstacles);
  };
  socket.onclose = () => {
    showConnection(false, false);
    setTimeout(() => connect(onPosition, onObstacles), 1000);
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
  const obstacles = new ObstaclesView(scene);
  const cells = buildOverlay(model);
  const show = (position, inContact = []) => {
    arms.forEach((arm) => arm.update(position));
    showJoints(cells, position);
    const touching = arms.map((arm, a) => arm.showContact(new Set(inContact.filter(([which]) => which === a)
      .map(([, link]) => link))));
    const names = touching.flatMap((links, a) => links.map((link) => (arms.length > 1 ? `A${a + 1} ${link}` : link)));
    stats.linksInContact = names.length;
    contactLine.textContent = names.length ? `in contact: ${names.join(', ')}` : '';
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
    connect((position, inContact) => {
      stats.positions += 1;
      show(position, inContact);
    }, (shown) => obstacles.show(shown));
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
