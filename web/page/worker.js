// The page's worker: runs the core (createVaultpostCore, the script built
// beside this one) on one document for one request, then the page ends it.
// Requests: { op: 'inspect', file } and { op: 'decode', file, credentials }
// (a list of { userName, password } in bytes, each tried in turn while the
// credentials are wrong: the same text in more than one encoding). Answers:
// 'inspected' with the header's flags, texts, result texts, icon and link
// rule; during a decoding 'progress', and per part 'partBegin', 'partData'
// (batches of the part's bytes, handed over, not copied) and 'partEnd';
// finally 'decoded'; or 'failed' when the file could not be read. Nothing is
// kept after the answer: the page ends this worker and with it the core's
// memory.

'use strict';

// Bytes of a part collected before they are handed to the page.
const BATCH_SIZE = 4 * 1024 * 1024;
// Bytes of the document read at a time.
const READ_AHEAD = 8 * 1024 * 1024;
// The result of credentials that do not open the document.
const WRONG_CREDENTIALS = -15;

function progressReporter(phase) {
  let last = -1;
  return (done, total) => {
    const percent = total > 0 ? Math.floor((done * 100) / total) : 0;
    if (percent !== last) {
      last = percent;
      self.postMessage({ type: 'progress', phase, percent });
    }
  };
}

// The host the core calls (web/entry/web_main.cpp).
function makeHost(file) {
  const reader = new FileReaderSync();
  const readProgress = progressReporter('decode');
  // The file is read ahead in large slices: each read of a File costs far
  // more than copying, and the core asks for blocks of 256 KiB.
  let ahead = new Uint8Array(0);
  let aheadAt = 0;
  let batch = null;
  let filled = 0;
  const flush = () => {
    if (filled > 0) {
      const bytes = filled === batch.length ? batch : batch.slice(0, filled);
      self.postMessage({ type: 'partData', bytes }, [bytes.buffer]);
      if (bytes !== batch) batch.fill(0);
    }
    batch = null;
    filled = 0;
  };
  const inspected = { texts: [], errorTexts: [], icon: null, linkOpenable: false, flags: 0 };
  return {
    inspected,
    sourceSize: () => file.size,
    readSource(offset, length) {
      const end = Math.min(file.size, offset + length);
      if (this.decoding) readProgress(end, file.size);
      if (offset < aheadAt || end > aheadAt + ahead.length) {
        aheadAt = offset;
        ahead = new Uint8Array(reader.readAsArrayBuffer(file.slice(offset, Math.max(end, offset + READ_AHEAD))));
      }
      return ahead.subarray(offset - aheadAt, end - aheadAt);
    },
    flags(flags) { inspected.flags = flags; },
    text(entry, key, bytes) { inspected.texts.push({ entry, key, bytes }); },
    errorText(code, bytes) { inspected.errorTexts.push({ code, bytes }); },
    icon(bytes, mimeType) { inspected.icon = { bytes, mimeType }; },
    link(openable) { inspected.linkOpenable = openable; },
    keyProgress: progressReporter('key'),
    beginPart(name, fileName, storedLength, compressed) {
      self.postMessage({ type: 'partBegin', name, fileName, storedLength, compressed });
      return true;
    },
    partData(bytes) {
      try {
        let at = 0;
        while (at < bytes.length) {
          if (batch === null) batch = new Uint8Array(BATCH_SIZE);
          const take = Math.min(bytes.length - at, batch.length - filled);
          batch.set(bytes.subarray(at, at + take), filled);
          filled += take;
          at += take;
          if (filled === batch.length) flush();
        }
        return true;
      } catch (error) {
        if (error instanceof RangeError) return false; // no memory for the part
        throw error;
      }
    },
    endPart() {
      flush();
      self.postMessage({ type: 'partEnd' });
      return true;
    },
  };
}

// Copies `bytes` into the core's heap as a NUL-terminated string.
function heapString(core, bytes) {
  const at = core._malloc(bytes.length + 1);
  core.HEAPU8.set(bytes, at);
  core.HEAPU8[at + bytes.length] = 0;
  return at;
}

function forget(core, at, length) {
  core.HEAPU8.fill(0, at, at + length + 1);
  core._free(at);
}

async function answer(request) {
  const host = makeHost(request.file);
  const core = await createVaultpostCore({ vpHost: host });
  if (request.op === 'inspect') {
    const result = core._vp_inspect();
    self.postMessage({ type: 'inspected', result, ...host.inspected });
    return;
  }
  host.decoding = true;
  let result = WRONG_CREDENTIALS;
  for (const { userName, password } of request.credentials) {
    if (result !== WRONG_CREDENTIALS) break;
    const userAt = heapString(core, userName);
    const passwordAt = heapString(core, password);
    password.fill(0);
    result = core._vp_decode(userAt, passwordAt);
    forget(core, userAt, userName.length);
    forget(core, passwordAt, password.length);
  }
  self.postMessage({ type: 'decoded', result });
}

self.onmessage = async (event) => {
  try {
    await answer(event.data);
  } catch (error) {
    // The file went away or became unreadable after it was chosen: the
    // browser's description, without the name of the call that met it.
    const reason = String((error && error.message) || error).replace(/^Failed to execute '[^']*' on '[^']*': /, '');
    self.postMessage({ type: 'failed', reason });
  }
};
