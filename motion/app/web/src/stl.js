// Reads STL meshes, binary or ASCII, into three.js geometry.
import * as THREE from 'three';

const HEADER_BYTES = 80;
const TRIANGLE_BYTES = 50;

// A binary file is its 84-byte header and 50 bytes per triangle it counts; anything
// else is read as text, even when it begins with "solid" as some binary files do.
function isBinary(view) {
  if (view.byteLength < HEADER_BYTES + 4) return false;
  const triangles = view.getUint32(HEADER_BYTES, true);
  return view.byteLength === HEADER_BYTES + 4 + triangles * TRIANGLE_BYTES;
}

function readBinary(view) {
  const triangles = view.getUint32(HEADER_BYTES, true);
  const positions = new Float32Array(triangles * 9);
  for (let t = 0; t < triangles; ++t) {
    // Each triangle: a normal (ignored, worked out again below), three corners and two spare bytes.
    const start = HEADER_BYTES + 4 + t * TRIANGLE_BYTES + 12;
    for (let k = 0; k < 9; ++k) positions[t * 9 + k] = view.getFloat32(start + 4 * k, true);
  }
  return positions;
}

function readText(text) {
  const numbers = [];
  const vertex = /vertex\s+(\S+)\s+(\S+)\s+(\S+)/g;
  for (let match = vertex.exec(text); match; match = vertex.exec(text)) {
    numbers.push(Number(match[1]), Number(match[2]), Number(match[3]));
  }
  if (numbers.length === 0 || numbers.length % 9 !== 0 || numbers.some((value) => !Number.isFinite(value))) {
    throw new Error('not an STL mesh: its vertices do not make whole triangles of finite numbers');
  }
  return new Float32Array(numbers);
}

// The triangles of an STL file's bytes; throws for bytes that are no STL mesh.
export function parseStl(buffer) {
  const view = new DataView(buffer);
  const positions = isBinary(view) ? readBinary(view) : readText(new TextDecoder().decode(buffer));
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.BufferAttribute(positions, 3));
  geometry.computeVertexNormals();
  return geometry;
}
