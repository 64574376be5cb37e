// The browser reader beside the native one on 128 MiB documents (run by
// bench/browser_reader.sh, which makes the documents and times the native
// reader): opens each document in the page in Chromium, RUNS times, and
// prints the fastest time from OK to the shown document and the peak
// resident memory of the page's renderer process (which runs its worker).
//
// usage: node browser_reader.js PAGE NODE_MODULES RUNS DOCUMENT...

'use strict';

const fs = require('node:fs');
const path = require('node:path');

const [page, nodeModules, runs, ...documents] = process.argv.slice(2);
const { chromium } = require(path.join(nodeModules, 'playwright-core'));

// The resident kilobytes of the largest renderer process below `rootPid`:
// the page's, which runs its worker too (each run has a browser of its own).
function rendererKiB(rootPid) {
  let largest = 0;
  const walk = (pid) => {
    let children = [];
    try {
      children = fs.readFileSync(`/proc/${pid}/task/${pid}/children`, 'utf8').split(' ').filter(Boolean);
    } catch {
      return;  // the process is gone
    }
    for (const child of children) {
      try {
        if (fs.readFileSync(`/proc/${child}/cmdline`, 'utf8').includes('--type=renderer')) {
          const status = fs.readFileSync(`/proc/${child}/status`, 'utf8');
          largest = Math.max(largest, Number(/VmRSS:\s+(\d+)/.exec(status)[1]));
        }
      } catch {
        // the process is gone
      }
      walk(child);
    }
  };
  walk(rootPid);
  return largest;
}

(async () => {
  for (const document of documents) {
    let fastest = Infinity;
    let peak = 0;
    let before = 0;
    for (let run = 0; run < Number(runs); ++run) {
      const browser = await chromium.launch({
        executablePath: process.env.VP_CHROMIUM || '/usr/bin/chromium',
        args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
               '--disable-sync', '--no-first-run'],
      });
      const tab = await browser.newPage();
      await tab.goto('file://' + page);
      await tab.setInputFiles('#file', document);
      await tab.waitForSelector('#prompt:not([hidden])');
      await tab.fill('#user', 'bench');
      await tab.fill('#password', 'mark');
      before = rendererKiB(process.pid);
      let sampling = true;
      const sample = (async () => {
        while (sampling) {
          peak = Math.max(peak, rendererKiB(process.pid));
          await new Promise((resolve) => setTimeout(resolve, 20));
        }
      })();
      const start = process.hrtime.bigint();
      await tab.click('#ok');
      await tab.waitForSelector('#document:not([hidden])', { timeout: 600000 });
      fastest = Math.min(fastest, Number(process.hrtime.bigint() - start) / 1e6);
      sampling = false;
      await sample;
      await browser.close();
    }
    console.log(`${path.basename(document)}\t${fastest.toFixed(0)} ms\tpeak ${(peak / 1024).toFixed(0)} MiB` +
                `\t(the page's renderer before OK: ${(before / 1024).toFixed(0)} MiB)`);
  }
})();
