// Minimal broadcast server: every message from any client makes the server send
// one text frame of the given size, the message padded with spaces, to every
// connected client. Prints "listening <port>" once it listens.
// Usage: node server.mjs <port, 0 for a free one> <frame-bytes>
import { WebSocketServer } from 'ws';

const port = Number(process.argv[2] ?? 0);
const size = Number(process.argv[3] ?? 1024);

const server = new WebSocketServer({ port, perMessageDeflate: false, maxPayload: 16384 });
server.on('connection', (socket) => {
  socket.on('message', (data) => {
    // One buffer for all clients, as a broadcast built on ws would send it.
    const frame = Buffer.from(data.toString().padEnd(size));
    for (const client of server.clients) {
      if (client.readyState === 1) {
        client.send(frame, { binary: false });
      }
    }
  });
});
server.on('listening', () => console.log(`listening ${server.address().port}`));
