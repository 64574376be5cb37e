// The browser reader's page in Chromium, driven by playwright-core (CTest
// runs it with node's test runner; tests/web/CMakeLists.txt sets the paths).
//
// The documents are made by the native encoder; every part the page decodes
// is saved through the page's own "Save a copy" and compared byte for byte
// with what the native reader writes for the same document. Every test
// fails on any request that is neither file: nor blob:, on any policy
// violation, script error or console error, and on any browser dialog. Each
// state the user meets is photographed into VP_SCREENSHOTS.

'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const zlib = require('node:zlib');

function setting(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set (run through CTest, see tests/web/CMakeLists.txt)`);
  return value;
}

const PAGE = 'file://' + setting('VP_WEB_PAGE');
const NATIVE = setting('VP_NATIVE_BUILD');
const WORK = setting('VP_WORK_DIR');
const SHOTS = setting('VP_SCREENSHOTS');
const { chromium } = require(path.join(setting('VP_NODE_MODULES'), 'playwright-core'));

const VPENCODE = path.join(NATIVE, 'tools/encoder/vpencode');
const VAULTPOST = path.join(NATIVE, 'cli/vaultpost');
const ICON = path.join(NATIVE, 'resources/icons/document.ico');

// The catalogue's defaults that the tests meet (reader/message_catalogue.cpp).
const CANT_DECODE = 'Unable to decode this document.  You may have entered your user authentication details ' +
  'incorrectly.\n\nPlease remember that all authentication details are case sensitive.';
const FILE_CORRUPT = 'Unable to decode this document.  The file appears to be corrupt.';
const CANT_OPEN = 'Cannot open file.  It either does not exist, or is not a valid Orlenta Encrypted Document';
const NOT_SUPPORTED_START = 'Cannot open this document because this version of the Orlenta Reader\ndoes not support';

// ---- Test documents ----------------------------------------------------

const doc = (name) => path.join(WORK, 'documents', name);
const input = (name) => path.join(WORK, 'inputs', name);

function encode(name, args) {
  execFileSync(VPENCODE, ['-o', doc(name), ...args]);
  return doc(name);
}

// A small PNG: a gradient, so that a picture of it is recognisable.
function pngFile(width, height) {
  const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  const crc = (bytes) => {
    let c = 0xffffffff;
    for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  };
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type, 'ascii'), data]);
    const out = Buffer.alloc(12 + data.length);
    out.writeUInt32BE(data.length, 0);
    body.copy(out, 4);
    out.writeUInt32BE(crc(body), 8 + data.length);
    return out;
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 2, 0, 0, 0], 8);  // 8-bit RGB
  const rows = Buffer.alloc((3 * width + 1) * height);
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      rows.set([(255 * x) / width, 120, (255 * y) / height], y * (3 * width + 1) + 1 + 3 * x);
    }
  }
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
                        chunk('IDAT', zlib.deflateSync(rows)), chunk('IEND', Buffer.alloc(0))]);
}

// A one-page PDF with one line of text.
function pdfFile(line) {
  const objects = [
    '<< /Type /Catalog /Pages 2 0 R >>',
    '<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
    '<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 200] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>',
    null,
    '<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
  ];
  const stream = `BT /F1 18 Tf 30 100 Td (${line}) Tj ET`;
  objects[3] = `<< /Length ${stream.length} >>\nstream\n${stream}\nendstream`;
  let out = '%PDF-1.4\n';
  const offsets = objects.map((body, i) => {
    const at = out.length;
    out += `${i + 1} 0 obj\n${body}\nendobj\n`;
    return at;
  });
  const xref = out.length;
  out += `xref\n0 ${objects.length + 1}\n0000000000 65535 f \n`;
  for (const at of offsets) out += `${String(at).padStart(10, '0')} 00000 n \n`;
  out += `trailer\n<< /Size ${objects.length + 1} /Root 1 0 R >>\nstartxref\n${xref}\n%%EOF\n`;
  return Buffer.from(out, 'latin1');
}

function writeInput(name, bytes) {
  fs.writeFileSync(input(name), bytes);
  return input(name);
}

// The parts the native reader writes for `document`, by file name: its
// viewer (a script) copies the part folder before the reader wipes it.
function nativeParts(document, userName, password) {
  const out = fs.mkdtempSync(path.join(WORK, 'native-'));
  const viewer = path.join(WORK, 'copy-parts.sh');
  fs.writeFileSync(viewer, '#!/bin/sh\ncp "$(dirname "$1")"/* "$VP_COPY_TO"/\n', { mode: 0o755 });
  const args = ['open', ...(userName !== null ? ['--user', userName] : []),
                ...(password !== null ? ['--password-stdin'] : []), document];
  // The password, then OK for an unknown type's question and the notice.
  const answers = (password !== null ? password + '\n' : '') + '\n\n\n';
  execFileSync(VAULTPOST, args, { input: answers, env: { ...process.env, VAULTPOST_VIEWER: viewer, VP_COPY_TO: out },
                                  stdio: ['pipe', 'ignore', 'inherit'] });
  const parts = new Map(fs.readdirSync(out).map((name) => [name, fs.readFileSync(path.join(out, name))]));
  fs.rmSync(out, { recursive: true });
  return parts;
}

// Each decodable document with its credentials (null: not asked for).
const corpus = [];

before(() => {
  for (const folder of ['documents', 'inputs']) {
    fs.rmSync(path.join(WORK, folder), { recursive: true, force: true });
    fs.mkdirSync(path.join(WORK, folder), { recursive: true });
  }
  fs.mkdirSync(SHOTS, { recursive: true });
  const letter = writeInput('letter.txt', Array.from({ length: 300 }, (_, i) =>
    `Line ${i + 1}: the quarterly figures, unchanged since the last report.\n`).join(''));
  const table = writeInput('table.csv', 'region,units\nnorth,120\nsouth,98\n');
  const picture = writeInput('picture.png', pngFile(240, 160));
  const manual = writeInput('manual.pdf', pdfFile('Orlenta test manual'));
  const credentials = ['--user', 'Alice', '--password', 'Correct horse 7'];
  const add = (name, args, userName = 'Alice', password = 'Correct horse 7') =>
    corpus.push({ name, file: encode(name, args), userName, password });

  add('aes-pbkdf2-sha256.emc', [...credentials, '--iterations', '10',
    '--tag', 'Title=Quarterly report', '--tag', 'Prompt=Enter the credentials you were given with the report.',
    '--tag', 'HyperlinkUrl=https://www.orlenta.example/help', '--tag', 'HyperlinkText=Lost your password?',
    '--icon', ICON, '--part', letter + ':z', '--part', table]);
  // Triple-DES, PBKDF2 over Keccak-256, one continuous zlib stream across
  // parts of more than 1 MiB, SHA-512 part digests and a Keccak-256 trailer.
  add('3des-pbkdf2-keccak-continuous.emd', [...credentials, '--cipher', '3des', '--kdf', '3', '--iterations', '5',
    '--continuous', '--body-digest', '4', '--trailer-digest', '7', '--generate', '1572864:z:name=large.dat',
    '--part', letter + ':z', '--generate', '1100000:name=raw.bin:seed=5']);
  // Version 258: no salt, a SHA-1 key from the credentials, AES-128, stored parts.
  add('v258-sha1.oed', [...credentials, '--version', '258', '--kdf', '2', '--key-bits', '128',
    '--body-digest', '2', '--trailer-digest', '2', '--part', table, '--part', picture]);
  // Key-derivation id 0 over the trailer digest (SHA-1), Keccak-256 part digests.
  add('kdf0-keccak.emc', [...credentials, '--kdf', '0', '--trailer-digest', '2', '--body-digest', '7',
    '--cipher', '3des', '--part', letter + ':z', '--part', table + ':z']);
  add('password-only.emc', ['--password-only', '--password', 'Only me', '--part', picture + ':z',
    '--part', manual], null, 'Only me');
  add('no-credentials.emc', ['--no-credentials', '--generate', '1048576:name=figures.docx:seed=9',
    '--part', table], null, null);
});

// ---- The browser -------------------------------------------------------

let browser = null;

before(async () => {
  browser = await chromium.launch({
    executablePath: process.env.VP_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--disable-default-apps'],
  });
});

after(async () => {
  if (browser) await browser.close();
});

// The browser's own PDF viewer loads its files from the browser itself.
const BROWSER_PDF_VIEWER = /^(chrome-extension:\/\/mhjfbmdgcfjbbpaeojofohoefgiehjai\/|chrome:\/\/resources\/)/;

// A fresh page; `problems` collects everything that must not happen. `host`
// is the origin the page is served from, if it is not opened as a file.
async function openPage(url = PAGE, host = null) {
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1000, height: 760 } });
  const problems = [];
  await context.addInitScript(() => {
    document.addEventListener('securitypolicyviolation',
      (event) => console.error(`policy violation: ${event.violatedDirective} ${event.blockedURI}`));
  });
  context.on('request', (request) => {
    const own = host !== null && request.url().startsWith(host + '/');
    if (!own && !/^(file|blob):/.test(request.url()) && !BROWSER_PDF_VIEWER.test(request.url())) {
      problems.push(`request to ${request.url()}`);
    }
  });
  const page = await context.newPage();
  const console = (where) => (message) => {
    if (message.type() === 'error' || /Content.Security.Policy|Refused to/i.test(message.text())) {
      problems.push(`${where} console ${message.type()}: ${message.text()}`);
    }
  };
  page.on('console', console('page'));
  page.on('worker', (worker) => { if (typeof worker.on === 'function') worker.on('console', console('worker')); });
  page.on('pageerror', (error) => problems.push(`script error: ${error.message}`));
  page.on('dialog', (dialog) => {
    problems.push(`browser dialog: ${dialog.message()}`);
    dialog.dismiss();
  });
  page.on('popup', (popup) => problems.push(`popup: ${popup.url()}`));
  await page.goto(url);
  const expected = [];
  return {
    page,
    // A console error the test itself provokes.
    expect(pattern) { expected.push(pattern); },
    async done() {
      await context.close();
      assert.deepEqual(problems.filter((problem) => !expected.some((pattern) => pattern.test(problem))), []);
    },
  };
}

async function shot(page, name) {
  await page.screenshot({ path: path.join(SHOTS, `${name}.png`) });
}

async function openFile(page, file) {
  await page.setInputFiles('#file', file);
}

async function answerPrompt(page, { userName, password }) {
  await page.waitForSelector('#prompt:not([hidden])');
  if (userName !== null) await page.fill('#user', userName);
  await page.fill('#password', password);
  await page.click('#ok');
}

async function message(page) {
  await page.waitForSelector('#message[open]');
  return {
    title: await page.textContent('#message-title'),
    text: await page.textContent('#message-text'),
  };
}

async function closeMessage(page) {
  await page.click('#message-ok');
  await page.waitForSelector('#message', { state: 'hidden' });
}

// Saves every part through the page (after its warning) and returns them by file name.
async function saveParts(page, photographWarning) {
  const parts = new Map();
  const items = page.locator('#parts li');
  for (let i = 0; i < await items.count(); ++i) {
    await items.nth(i).getByRole('button', { name: /Save a copy/ }).click();
    await page.waitForSelector('#save-warning[open]');
    if (photographWarning && i === 0) await shot(page, photographWarning);
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save-confirm')]);
    parts.set(download.suggestedFilename(), fs.readFileSync(await download.path()));
  }
  return parts;
}

// ---- The tests -----------------------------------------------------------

test('the start page', async () => {
  const { page, done } = await openPage();
  assert.equal(await page.isVisible('#start'), true);
  await shot(page, '01-start');
  await done();
});

test('every cipher, key derivation and part layout gives the native reader\'s bytes', async () => {
  const shots = {
    'aes-pbkdf2-sha256.emc': ['02-prompt-with-icon-and-link', '03-text-part', '04-save-warning'],
    '3des-pbkdf2-keccak-continuous.emd': [null, '05-large-parts'],
    'v258-sha1.oed': [null, null],
    'kdf0-keccak.emc': [null, null],
    'password-only.emc': ['06-password-only-prompt', '07-image-part'],
    'no-credentials.emc': [null, '08-part-the-page-cannot-show'],
  };
  for (const item of corpus) {
    const { page, done } = await openPage();
    const [promptShot, documentShot, warningShot] = shots[item.name];
    await openFile(page, item.file);
    if (item.password !== null) {
      await page.waitForSelector('#prompt:not([hidden])');
      assert.equal(await page.isVisible('#user'), item.userName !== null, item.name);
      assert.equal(await page.getAttribute('#password', 'type'), 'password');
      if (promptShot) await shot(page, promptShot);
      await answerPrompt(page, item);
    }
    await page.waitForSelector('#document:not([hidden])');
    if (documentShot) await shot(page, documentShot);
    const saved = await saveParts(page, warningShot);
    const native = nativeParts(item.file, item.userName, item.password);
    assert.deepEqual([...saved.keys()].sort(), [...native.keys()].sort(), item.name);
    for (const [name, bytes] of native) assert.ok(bytes.equals(saved.get(name)), `${item.name}: ${name}`);
    if (item.name === 'password-only.emc') {
      await page.locator('#parts li').nth(1).getByRole('button', { name: 'Show' }).click();
      await page.waitForSelector('iframe.pdf-view');
      await page.waitForTimeout(1500);  // the viewer draws the page
      await shot(page, '09-pdf-part');
    }
    await done();
  }
});

test('a wrong password is told at once, the next one after the growing delay', async () => {
  const { page, done } = await openPage();
  const item = corpus[0];
  await openFile(page, item.file);
  await answerPrompt(page, { ...item, password: 'wrong' });
  let shown = await message(page);
  assert.deepEqual(shown, { title: 'Orlenta Reader', text: CANT_DECODE });
  assert.equal(await page.textContent('#prompt-status'), '');
  await shot(page, '10-wrong-password');
  await closeMessage(page);
  await page.waitForFunction(() => document.activeElement.id === 'password');
  assert.equal(await page.isEnabled('#password'), true);

  const started = Date.now();
  await answerPrompt(page, { ...item, password: 'still wrong' });
  await page.waitForSelector('#prompt-status:has-text("Please wait")');
  assert.equal(await page.isEnabled('#password'), false);
  await shot(page, '11-retry-delay');
  shown = await message(page);
  assert.ok(Date.now() - started >= 3000, 'the second failure waits 3 s');
  assert.equal(shown.text, CANT_DECODE);
  await closeMessage(page);
  await answerPrompt(page, item);
  await page.waitForSelector('#document:not([hidden])');
  await done();
});

test('served by a static web host, the page asks for its own files only', async () => {
  const folder = path.dirname(setting('VP_WEB_PAGE'));
  const server = http.createServer((request, response) => {
    const name = path.basename(new URL(request.url, 'http://host').pathname);
    const types = { html: 'text/html', js: 'text/javascript', css: 'text/css' };
    const file = path.join(folder, name);
    if (!fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[name.split('.').pop()] || 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const host = `http://127.0.0.1:${server.address().port}`;
  try {
    const { page, done } = await openPage(`${host}/index.html`, host);
    const item = corpus[0];
    await openFile(page, item.file);
    await answerPrompt(page, item);
    await page.waitForSelector('#document:not([hidden])');
    assert.equal(await page.locator('#parts li').count(), 2);
    await done();
  } finally {
    server.close();
  }
});

test('credentials beyond ASCII open documents made with UTF-8 and with the Windows code page', async () => {
  const table = input('table.csv');
  // The shell passes the raw byte 0xFC (u with diaeresis in the Windows code page).
  const windows = doc('windows-1252.emc');
  const encodeRaw = 'exec "$0" -o "$1" --user "$(printf \'J\\374rg\')" --password "$(printf \'M\\374ller\')" --part "$2"';
  execFileSync('sh', ['-c', encodeRaw, VPENCODE, windows, table]);
  const utf8 = encode('utf-8.emc', ['--user', 'Jürg', '--password', 'Müller', '--part', table]);
  for (const file of [utf8, windows]) {
    const { page, done } = await openPage();
    await openFile(page, file);
    await answerPrompt(page, { userName: 'Jürg', password: 'Müller' });
    await page.waitForSelector('#document:not([hidden])');
    assert.ok((await saveParts(page)).get('table.csv').equals(fs.readFileSync(table)), file);
    await done();
  }
});

test('Cancel during the key derivation returns to the prompt with nothing decoded', async () => {
  const { page, done } = await openPage();
  // About 4 million PBKDF2 iterations: seconds in WebAssembly.
  const slow = encode('slow.emc', ['--user', 'Alice', '--password', 'pw', '--iterations', '4000',
    '--part', input('table.csv')]);
  await openFile(page, slow);
  await answerPrompt(page, { userName: 'Alice', password: 'pw' });
  await page.waitForSelector('#progress:not([hidden]) #bar[data-phase="key"]');
  await page.waitForFunction(() => document.getElementById('bar').value > 0);
  await shot(page, '12-key-derivation-progress');
  await page.click('#stop');
  await page.waitForSelector('#prompt:not([hidden])');
  assert.equal(await page.isEnabled('#password'), true);
  await page.waitForTimeout(1000);  // a worker that lived on would bring the document
  assert.equal(await page.isVisible('#document'), false);
  assert.equal(await page.locator('#parts li').count(), 0);
  await shot(page, '13-cancelled');
  await done();
});

test('expired, damaged, unsupported and foreign files are refused with their messages', async () => {
  const table = input('table.csv');
  const credentials = ['--user', 'Alice', '--password', 'pw'];
  const expired = encode('expired.emc', [...credentials, '--expiry', '1000000000',
    '--tag', 'Expired=This report was withdrawn on 9 September 2001.', '--part', table]);
  const corrupt = doc('corrupt.emc');
  const intact = fs.readFileSync(encode('intact.emc', [...credentials, '--generate', '100000:name=data.bin']));
  intact[Math.floor(intact.length / 2)] ^= 0x40;
  fs.writeFileSync(corrupt, intact);
  const unsupported = encode('kdf1.emc', [...credentials, '--kdf', '1', '--part', table]);
  const foreign = writeInput('notes.emc', 'just some text, not a document\n');
  const removed = encode('removed.emc', [...credentials, '--part', table]);
  const cases = [
    { file: expired, text: 'This report was withdrawn on 9 September 2001.', shot: '14-expired' },
    { file: corrupt, text: FILE_CORRUPT, shot: '15-corrupt' },
    { file: unsupported, startsWith: NOT_SUPPORTED_START, shot: '16-not-supported' },
    { file: foreign, text: CANT_OPEN, prompt: false, shot: '17-not-a-document' },
    // Removed after it was chosen, before the password was given.
    { file: removed, startsWith: 'An unexpected error occurred: ', remove: true, shot: '18-document-removed' },
  ];
  for (const item of cases) {
    const { page, done } = await openPage();
    await openFile(page, item.file);
    if (item.remove) {
      await page.waitForSelector('#prompt:not([hidden])');
      fs.rmSync(item.file);
    }
    if (item.prompt !== false) await answerPrompt(page, { userName: 'Alice', password: 'pw' });
    const shown = await message(page);
    if (item.text) assert.equal(shown.text, item.text);
    else assert.ok(shown.text.startsWith(item.startsWith), shown.text);
    await shot(page, item.shot);
    await closeMessage(page);
    await page.waitForSelector('#start:not([hidden])');
    assert.equal(await page.locator('#parts li').count(), 0);
    await done();
  }
});

test('a hostile document\'s texts and names are shown inert', async () => {
  const esc = '\u001b';
  const hostile = encode('hostile.emc', ['--user', 'Alice', '--password', 'pw',
    '--tag', `Title=Invoice${esc}]0;owned\u0007 <b>bold</b>`,
    '--tag', 'Prompt=<img src=x onerror="alert(1)"> Pay at once.\n\u202Efdp.exe',
    '--tag', 'UserNameLabel=<script>alert(2)</script>',
    '--tag', 'HyperlinkUrl=javascript:alert(3)', '--tag', 'HyperlinkText=<a href="javascript:alert(4)">here</a>',
    '--tag', `StopTitle=Stop${esc}[2J`,
    '--part', `${input('table.csv')}:name=<img src=x onerror=alert(5)>.txt`,
    '--part', `${input('letter.txt')}:name=bill${esc}[31m\u202Etxt.exe`]);
  const { page, done } = await openPage();
  await openFile(page, hostile);
  await page.waitForSelector('#prompt:not([hidden])');
  assert.equal(await page.textContent('#prompt-title'), 'Invoice\\x1B]0;owned\\x07 <b>bold</b>');
  assert.equal(await page.textContent('#prompt-text'), '<img src=x onerror="alert(1)"> Pay at once.\n\\u202Efdp.exe');
  assert.equal(await page.textContent('#user-label'), '<script>alert(2)</script>');
  // The document can add no element, and its script address is no link.
  assert.equal(await page.locator('#prompt img:not(#doc-icon), #prompt b, #prompt script, #prompt a[href]').count(), 0);
  assert.equal(await page.isVisible('#link-row'), false);
  await shot(page, '19-hostile-prompt');
  await answerPrompt(page, { userName: 'Alice', password: 'wrong' });
  const shown = await message(page);
  assert.equal(shown.title, 'Stop\\x1B[2J');
  await closeMessage(page);
  await answerPrompt(page, { userName: 'Alice', password: 'pw' });
  await page.waitForSelector('#document:not([hidden])');
  const names = await page.locator('#parts .name').allTextContents();
  assert.deepEqual(names, ['<img src=x onerror=alert(5)>.txt', 'bill\\x1B[31m\\u202Etxt.exe']);
  assert.equal(await page.locator('#document img, #document script').count(), 0);
  await shot(page, '20-hostile-parts');
  await done();
});

test('closing the document revokes its object URLs and empties the page', async () => {
  const { page, expect, done } = await openPage();
  const item = corpus.find((entry) => entry.name === 'password-only.emc');
  await openFile(page, item.file);
  await answerPrompt(page, item);
  await page.waitForSelector('.image-view img');
  const url = await page.getAttribute('.image-view img', 'src');
  assert.match(url, /^blob:/);
  await page.click('#close');
  await page.waitForSelector('#start:not([hidden])');
  assert.equal(await page.locator('#viewer *, #parts li').count(), 0);
  // A revoked URL no longer loads.
  expect(new RegExp(`Not allowed to load local resource: ${url}$`));
  const loads = await page.evaluate((revoked) => new Promise((resolve) => {
    const image = new Image();
    image.onload = () => resolve(true);
    image.onerror = () => resolve(false);
    image.src = revoked;
  }), url);
  assert.equal(loads, false);
  await shot(page, '21-closed');
  await done();
});
