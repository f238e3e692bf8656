// Minimal broadcast server: every message from any client makes the server
// send one payload of the given size to every connected client.
// Usage: node server.mjs <port> <payload-bytes>
import { WebSocketServer } from 'ws';

const port = Number(process.argv[2] ?? 8690);
const size = Number(process.argv[3] ?? 1024);
const payload = 'x'.repeat(size);

const server = new WebSocketServer({ port, perMessageDeflate: false, maxPayload: 16384 });
server.on('connection', (socket) => {
  socket.on('message', () => {
    for (const client of server.clients) {
      if (client.readyState === 1) {
        client.send(payload);
      }
    }
  });
});
server.on('listening', () => console.log('listening'));
