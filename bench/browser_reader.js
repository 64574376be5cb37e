// The browser reader beside the native one on 128 MiB documents (run by
// bench/browser_reader.sh, which makes the documents and times the native
// reader): opens each document in the page in Chromium, RUNS times, and
// prints the fastest time from OK to the shown document, the least processor
// time its renderer process (which runs its worker) spent on it, and that
// process's peak resident memory.
//
// usage: node browser_reader.js PAGE NODE_MODULES RUNS DOCUMENT...

'use strict';

const fs = require('node:fs');
const path = require('node:path');

const [page, nodeModules, runs, ...documents] = process.argv.slice(2);
const { chromium } = require(path.join(nodeModules, 'playwright-core'));

// The largest web page renderer process below `rootPid`, { pid, kib }
// (resident kilobytes): the page's, which runs its worker too (each run has
// a browser of its own, with this one page).
function renderer(rootPid) {
  let largest = { pid: 0, kib: 0 };
  const walk = (pid) => {
    let children = [];
    try {
      children = fs.readFileSync(`/proc/${pid}/task/${pid}/children`, 'utf8').split(' ').filter(Boolean);
    } catch {
      return;  // the process is gone
    }
    for (const child of children) {
      try {
        const command = fs.readFileSync(`/proc/${child}/cmdline`, 'utf8');
        // Not the browser's own pages (its interface, extensions such as the PDF viewer).
        if (command.includes('--type=renderer') && !/--top-chrome-webui|--extension-process/.test(command)) {
          const kib = Number(/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${child}/status`, 'utf8'))[1]);
          if (kib > largest.kib) largest = { pid: Number(child), kib };
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

// Processor seconds a process has used (user and system).
function cpuSeconds(pid) {
  const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) / 100;  // utime, stime in clock ticks
}

(async () => {
  for (const document of documents) {
    let fastest = Infinity;
    let leastCpu = Infinity;
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
      const pageProcess = renderer(process.pid);
      before = pageProcess.kib;
      const cpuBefore = cpuSeconds(pageProcess.pid);
      let sampling = true;
      const sample = (async () => {
        while (sampling) {
          peak = Math.max(peak, renderer(process.pid).kib);
          await new Promise((resolve) => setTimeout(resolve, 20));
        }
      })();
      const start = process.hrtime.bigint();
      await tab.click('#ok');
      await tab.waitForSelector('#document:not([hidden])', { timeout: 600000 });
      fastest = Math.min(fastest, Number(process.hrtime.bigint() - start) / 1e6);
      leastCpu = Math.min(leastCpu, cpuSeconds(pageProcess.pid) - cpuBefore);
      sampling = false;
      await sample;
      await browser.close();
    }
    console.log(`${path.basename(document)}\t${fastest.toFixed(0)} ms (processor ${(leastCpu * 1000).toFixed(0)} ms)` +
                `\tpeak ${(peak / 1024).toFixed(0)} MiB (the page's renderer before OK: ${(before / 1024).toFixed(0)} MiB)`);
  }
})();
