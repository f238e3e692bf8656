// The Mirava page: draws the robot described by /robot.json and the obstacles
// around it, moves the robot to every joint position the application relays over
// the WebSocket /page, and colours the links that touch something red.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { loadReplay, startReplay } from './replay.js';
import { ArmView, matrixFromRows, robotStats } from './robot_view.js';
import { ToolPath, addViewTools } from './view_tools.js';

const view = document.getElementById('view');
const connectionLine = document.getElementById('connection');
const jointsTable = document.getElementById('joints');
const contactLine = document.getElementById('contact');

// Read by the browser test: frames drawn, positions shown, obstacles drawn, links in
// contact, robot shapes and meshes loaded, tool path points drawn, triangles of the last
// frame, and where the camera stands and what it looks at.
const stats = {
  frames: 0, positions: 0, obstacles: 0, linksInContact: 0, robot: robotStats, pathPoints: 0, triangles: 0, camera: [], cameraTarget: [],
};
window.miravaStats = stats;

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

const obstacleMaterial = new THREE.MeshStandardMaterial({
  color: 0xd29922, metalness: 0.1, roughness: 0.7, transparent: true, opacity: 0.8,
});

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
    arm.chain.forEach((_, i) => {
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
  controls.enableDamping = true;

  const arms = model.arms.map((arm) => new ArmView(scene, arm));
  const paths = arms.map(() => new ToolPath(scene));
  const obstacles = new ObstaclesView(scene);
  const cells = buildOverlay(model);
  // `time` [s] orders the tool's path: the page's clock live, the recording's in a replay.
  const show = (position, inContact = [], time = performance.now() / 1000) => {
    arms.forEach((arm, a) => {
      arm.update(position);
      paths[a].add(arm.toolPoint, time);
    });
    stats.pathPoints = paths.reduce((sum, path) => sum + path.drawn(), 0);
    showJoints(cells, position);
    const touching = arms.map((arm, a) => arm.showContact(new Set(inContact.filter(([which]) => which === a)
      .map(([, link]) => link))));
    const names = touching.flatMap((links, a) => links.map((link) => (arms.length > 1 ? `A${a + 1} ${link}` : link)));
    stats.linksInContact = names.length;
    contactLine.textContent = names.length ? `in contact: ${names.join(', ')}` : '';
  };
  show(new Array(model.degrees_of_freedom).fill(0));
  // A tall arm (its tool high above the base at the zero position) is seen whole: aimed
  // at half its height, from farther away.
  const top = Math.max(...arms.map((arm) => arm.toolPoint.z - centre.z));
  controls.target.set(centre.x, centre.y, centre.z + Math.max(0.4, top / 2));
  camera.position.copy(controls.target)
    .add(new THREE.Vector3(1.6, -1.8, 0.8).multiplyScalar(Math.max(1 + spread, top / 1.2)));
  addViewTools(document.getElementById('overlay'), controls, paths);

  const resize = () => {
    renderer.setSize(view.clientWidth, view.clientHeight);
    camera.aspect = view.clientWidth / view.clientHeight;
    camera.updateProjectionMatrix();
  };
  window.addEventListener('resize', resize);
  resize();

  const replay = await loadReplay();
  if (replay) {
    obstacles.show(replay.obstacles);
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
    stats.triangles = renderer.info.render.triangles;
    stats.camera = camera.position.toArray();
    stats.cameraTarget = controls.target.toArray();
  });
}

main().catch((error) => {
  connectionLine.className = 'down';
  connectionLine.textContent = `error: ${error.message}`;
});
