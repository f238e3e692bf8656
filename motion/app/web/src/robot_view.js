// One arm of the robot model (/robot.json) in the scene: its links drawn from their
// visual shapes (boxes, cylinders, spheres and STL meshes) or, for an arm without
// them, from their capsules, and moved joint by joint along the arm's chain.
import * as THREE from 'three';
import { parseStl } from './stl.js';

const linkColour = 0xb8c4d0;
const contactColour = 0xff3b30;
const yAxis = new THREE.Vector3(0, 1, 0);
// Bare segments of a link (radius 0) are drawn this thick [m].
const thinnest = 0.008;

// Read by the browser test: shapes drawn for the links and meshes loaded into them.
export const robotStats = { shapes: 0, meshesLoaded: 0 };

export function matrixFromRows(values) {
  return new THREE.Matrix4().set(...values);
}

// From one link's frame to the next: origin · (turn about or slide along the axis by q) · offset.
function jointMatrix(joint, q) {
  const axis = new THREE.Vector3(...joint.axis).normalize();
  const motion = joint.type === 'prismatic'
    ? new THREE.Matrix4().makeTranslation(axis.x * q, axis.y * q, axis.z * q)
    : new THREE.Matrix4().makeRotationAxis(axis, q);
  return joint.originMatrix.clone().multiply(motion).multiply(joint.offsetMatrix);
}

// A capsule fixed in its link's frame, with the matrix that takes three's upright capsule there.
function capsulePart(capsule) {
  const start = new THREE.Vector3(...capsule.start);
  const end = new THREE.Vector3(...capsule.end);
  const direction = new THREE.Vector3().subVectors(end, start);
  const length = direction.length();
  const radius = Math.max(capsule.radius, thinnest);
  const place = new THREE.Matrix4().compose(
    start.clone().addScaledVector(direction, 0.5),
    length > 1e-9 ? new THREE.Quaternion().setFromUnitVectors(yAxis, direction.divideScalar(length))
      : new THREE.Quaternion(),
    new THREE.Vector3(1, 1, 1));
  return { geometry: new THREE.CapsuleGeometry(radius, length, 6, 16), place };
}

// The geometry of a visual shape; a mesh starts empty and is filled once its file has loaded.
function shapeGeometry(shape, onMesh) {
  if (shape.shape === 'box') return new THREE.BoxGeometry(...shape.size);
  if (shape.shape === 'sphere') return new THREE.SphereGeometry(shape.radius, 32, 16);
  if (shape.shape === 'cylinder') {
    // Three's cylinders stand along y, ours along z.
    return new THREE.CylinderGeometry(shape.radius, shape.radius, shape.length, 32).rotateX(Math.PI / 2);
  }
  onMesh(shape.url, shape.scale);
  return new THREE.BufferGeometry();
}

function colourOf(shape) {
  return shape.colour ? new THREE.Color(...shape.colour.slice(0, 3)) : new THREE.Color(linkColour);
}

// Fetches each mesh file once and hands its geometry to every shape that uses it.
class MeshLoader {
  constructor() {
    this.files = new Map();
  }

  load(url) {
    if (!this.files.has(url)) {
      this.files.set(url, fetch(url).then((response) => {
        if (!response.ok) throw new Error(`mesh ${url}: ${response.status}`);
        return response.arrayBuffer();
      }).then(parseStl));
    }
    return this.files.get(url);
  }
}

const meshes = new MeshLoader();

export class ArmView {
  constructor(scene, model) {
    this.model = model;
    this.base = matrixFromRows(model.base);
    this.tool = matrixFromRows(model.tool_offset);
    this.chain = model.chain.map((joint) => ({
      ...joint, originMatrix: matrixFromRows(joint.origin), offsetMatrix: matrixFromRows(joint.offset),
    }));
    this.links = model.visuals.length > 0 ? model.visuals.map((link) => this.visualLink(scene, link))
      : model.links.map((link) => this.capsuleLink(scene, link));
    this.frames = [];
    for (let i = 0; i <= this.chain.length; ++i) {
      const axes = new THREE.AxesHelper(0.08);
      axes.matrixAutoUpdate = false;
      scene.add(axes);
      this.frames.push(axes);
    }
    this.toolAxes = new THREE.AxesHelper(0.15);
    this.toolAxes.matrixAutoUpdate = false;
    scene.add(this.toolAxes);
    this.toolPoint = new THREE.Vector3();
  }

  addPart(scene, parts, geometry, place, colour) {
    const material = new THREE.MeshStandardMaterial({ color: colour, metalness: 0.3, roughness: 0.5 });
    const mesh = new THREE.Mesh(geometry, material);
    mesh.matrixAutoUpdate = false;
    mesh.name = 'robot-shape';
    scene.add(mesh);
    parts.push({ mesh, place, colour });
    robotStats.shapes += 1;
    return mesh;
  }

  capsuleLink(scene, link) {
    const parts = [];
    link.capsules.forEach((capsule) => {
      const { geometry, place } = capsulePart(capsule);
      this.addPart(scene, parts, geometry, place, new THREE.Color(linkColour));
    });
    return { name: link.name, parts };
  }

  visualLink(scene, link) {
    const parts = [];
    link.shapes.forEach((shape) => {
      let file = null;
      const geometry = shapeGeometry(shape, (url, scale) => { file = { url, scale }; });
      const mesh = this.addPart(scene, parts, geometry, matrixFromRows(shape.origin), colourOf(shape));
      if (file) {
        meshes.load(file.url).then((loaded) => {
          mesh.geometry = loaded.clone().scale(...file.scale);
          robotStats.meshesLoaded += 1;
        }).catch((error) => console.error(error.message));
      }
    });
    return { name: link.name, parts };
  }

  // Moves the links to `position`, the whole robot's joint position.
  update(position) {
    let transform = this.base.clone();
    this.frames[0].matrix.copy(transform);
    this.placeLink(0, transform);
    this.chain.forEach((joint, i) => {
      transform = transform.multiply(jointMatrix(joint, position[this.model.first_joint + i] ?? 0));
      this.frames[i + 1].matrix.copy(transform);
      this.placeLink(i + 1, transform);
    });
    this.toolAxes.matrix.copy(transform.multiply(this.tool));
    this.toolPoint.setFromMatrixPosition(this.toolAxes.matrix);
  }

  placeLink(index, frame) {
    this.links[index]?.parts.forEach(({ mesh, place }) => mesh.matrix.multiplyMatrices(frame, place));
  }

  // Colours red the links whose index is in `touching`; returns the names of those links.
  showContact(touching) {
    return this.links.filter((link, index) => {
      const inContact = touching.has(index);
      link.parts.forEach(({ mesh, colour }) => mesh.material.color.set(inContact ? contactColour : colour));
      return inContact;
    }).map((link) => link.name);
  }
}
