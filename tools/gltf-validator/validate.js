// Validates one glTF file with the Khronos validator and prints its
// summary as one JSON line; exits 1 when it reports an error or a warning.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

const file = process.argv[2];
if (!file) {
  console.error('usage: node validate.js FILE.glb|FILE.gltf');
  process.exit(2);
}
const folder = path.dirname(file);
validator
  .validateBytes(new Uint8Array(fs.readFileSync(file)), {
    uri: path.basename(file),
    externalResourceFunction: (uri) =>
      new Promise((resolve, reject) => {
        fs.readFile(path.join(folder, decodeURIComponent(uri)), (err, data) =>
          err ? reject(err.toString()) : resolve(new Uint8Array(data)));
      }),
  })
  .then((report) => {
    const issues = report.issues;
    const summary = {
      errors: issues.numErrors,
      warnings: issues.numWarnings,
      infos: issues.numInfos,
      hints: issues.numHints,
      messages: issues.messages.map((m) => `${m.severity} ${m.code} ${m.pointer || ''} ${m.message}`),
      info: report.info,
    };
    console.log(JSON.stringify(summary));
    process.exit(issues.numErrors > 0 || issues.numWarnings > 0 ? 1 : 0);
  })
  .catch((error) => {
    console.error(`validator failed: ${error}`);
    process.exit(2);
  });
