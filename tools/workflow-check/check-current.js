// Every runs-on label of the workflow files must be an image GitHub hosts
// today, and every action they use must be at its current major version,
// both as listed in current.txt beside this file.
//   node check-current.js WORKFLOW...
"use strict";
const fs = require("fs");
const path = require("path");

const labels = new Set();
const majors = new Map();
const list = path.join(__dirname, "current.txt");
for (const line of fs.readFileSync(list, "utf8").split("\n")) {
  const words = line.replace(/#.*/, "").trim().split(/\s+/);
  if (words[0] === "runs-on" && words.length === 2) labels.add(words[1]);
  else if (words[0] === "uses" && words.length === 3) majors.set(words[1], words[2]);
  else if (words[0] !== "") throw new Error(`${list}: cannot read "${line}"`);
}

let faults = 0;
for (const file of process.argv.slice(2)) {
  fs.readFileSync(file, "utf8").split("\n").forEach((text, index) => {
    const where = `${file}:${index + 1}`;
    const fault = (message) => {
      console.error(`${where}: ${message}`);
      faults++;
    };
    const code = text.replace(/\s#.*/, "");
    let m = code.match(/^\s*runs-on:\s*(.*?)\s*$/);
    if (m) {
      // A list or an expression cannot be checked here: name one image.
      if (!labels.has(m[1])) fault(`runs-on "${m[1]}" is not a current runner label (${path.relative(".", list)})`);
      return;
    }
    m = code.match(/^\s*(?:-\s+)?uses:\s*["']?([^"'\s]+)["']?\s*$/);
    if (!m || m[1].startsWith("./") || m[1].startsWith("docker://")) return;
    const at = m[1].lastIndexOf("@");
    const name = at < 0 ? m[1] : m[1].slice(0, at);
    const ref = at < 0 ? "" : m[1].slice(at + 1);
    const action = name.split("/").slice(0, 2).join("/");
    const major = majors.get(action);
    if (major === undefined) return fault(`${action} is not in ${path.relative(".", list)}`);
    if (!new RegExp(`^${major}(\\.\\d+){0,2}$`).test(ref)) fault(`${m[1]}: the current major version is ${action}@${major}`);
  });
}
process.exit(faults === 0 ? 0 : 1);
