// Reads an MCAP recording with @mcap/core, an implementation of the format that
// is not ours, and prints what it found as one JSON object:
//   {"indexed": {"statistics": {topic: count}, "messages": {topic: count},
//                "last": {topic: the last message, parsed}} | null,
//    "stream": {"messages": {topic: count}, "done": bool}, "errors": [...]}
// Every message is parsed as JSON and checked against its channel's JSON Schema
// (the subset the library writes: type, required, properties, items), once: by
// the indexed read, or by the stream read with --stream-only. The stream read
// after an indexed one counts the messages and checks the CRCs.
// Usage: node read_mcap.mjs FILE [--stream-only]
import { McapIndexedReader, McapStreamReader } from "@mcap/core";
import { spawnSync } from "node:child_process";
import { open, readFile } from "node:fs/promises";

const [file, mode] = process.argv.slice(2);
const errors = [];

// The format names zstd; Node has no decoder, the zstd command does.
const decompressHandlers = {
  zstd: (buffer, size) => {
    const run = spawnSync("zstd", ["-d", "-c", "-q"], { input: buffer, maxBuffer: Number(size) + 1024 });
    if (run.status !== 0) throw new Error(`zstd failed: ${run.stderr}`);
    return new Uint8Array(run.stdout.buffer, run.stdout.byteOffset, run.stdout.length);
  },
};

function typeOf(value) {
  if (value === null) return "null";
  if (Array.isArray(value)) return "array";
  if (typeof value === "number") return Number.isInteger(value) ? "integer" : "number";
  return typeof value;
}

// `path` names the value in errors; it is joined only when one is found.
function validate(schema, value, path) {
  if (schema.type !== undefined) {
    const allowed = Array.isArray(schema.type) ? schema.type : [schema.type];
    const actual = typeOf(value);
    if (!allowed.includes(actual) && !(actual === "integer" && allowed.includes("number"))) {
      errors.push(`${path.join(".")}: ${actual}, not ${allowed.join(" or ")}`);
      return;
    }
  }
  if (value !== null && typeof value === "object" && !Array.isArray(value)) {
    for (const key of schema.required ?? []) {
      if (!(key in value)) errors.push(`${path.join(".")}: no "${key}"`);
    }
    for (const key in schema.properties ?? {}) {
      if (key in value) {
        path.push(key);
        validate(schema.properties[key], value[key], path);
        path.pop();
      }
    }
  }
  if (Array.isArray(value) && schema.items) {
    for (let i = 0; i < value.length; ++i) {
      path.push(i);
      validate(schema.items, value[i], path);
      path.pop();
    }
  }
}

const decoder = new TextDecoder();
const schemaOf = new Map();
function check(channel, schema, message) {
  if (schema?.encoding !== "jsonschema" || channel.messageEncoding !== "json") {
    errors.push(`${channel.topic}: encodings ${schema?.encoding} and ${channel.messageEncoding}`);
    return;
  }
  if (!schemaOf.has(schema.id)) schemaOf.set(schema.id, JSON.parse(decoder.decode(schema.data)));
  if (errors.length < 20) validate(schemaOf.get(schema.id), JSON.parse(decoder.decode(message.data)), [channel.topic]);
}

function count(table, topic) {
  table[topic] = (table[topic] ?? 0) + 1;
}

async function readIndexed() {
  const handle = await open(file, "r");
  try {
    const readable = {
      size: async () => BigInt((await handle.stat()).size),
      read: async (offset, size) => {
        const buffer = new Uint8Array(Number(size));
        await handle.read(buffer, 0, Number(size), Number(offset));
        return buffer;
      },
    };
    const reader = await McapIndexedReader.Initialize({ readable, decompressHandlers });
    const statistics = {};
    for (const [id, total] of reader.statistics.channelMessageCounts) {
      statistics[reader.channelsById.get(id).topic] = Number(total);
    }
    const messages = {};
    const last = {};
    for await (const message of reader.readMessages()) {
      const channel = reader.channelsById.get(message.channelId);
      count(messages, channel.topic);
      check(channel, reader.schemasById.get(channel.schemaId), message);
      last[channel.topic] = message.data;
    }
    for (const topic in last) last[topic] = JSON.parse(decoder.decode(last[topic]));
    return { statistics, messages, last, chunks: reader.chunkIndexes.length };
  } finally {
    await handle.close();
  }
}

function readStream(bytes, validating) {
  const reader = new McapStreamReader({ validateCrcs: true, decompressHandlers });
  const channels = new Map();
  const schemas = new Map();
  const messages = {};
  // In pieces, as from a pipe: a reader must carry records across them.
  for (let at = 0; at < bytes.length; at += 1 << 20) {
    reader.append(bytes.subarray(at, at + (1 << 20)));
    for (let record; (record = reader.nextRecord()); ) {
      if (record.type === "Schema") schemas.set(record.id, record);
      if (record.type === "Channel") channels.set(record.id, record);
      if (record.type === "Message") {
        const channel = channels.get(record.channelId);
        count(messages, channel.topic);
        if (validating) check(channel, schemas.get(channel.schemaId), record);
      }
    }
  }
  return { messages, done: reader.done() };
}

const result = { indexed: null, stream: null, errors };
try {
  if (mode !== "--stream-only") result.indexed = await readIndexed();
  result.stream = readStream(await readFile(file), result.indexed === null);
} catch (error) {
  errors.push(String(error));
}
console.log(JSON.stringify(result));
