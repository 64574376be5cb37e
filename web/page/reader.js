// The browser reader's page: opens a document container entirely inside the
// page. The core (decoding, cryptography, the message catalogue with the
// document's own texts, the link rule) runs in a worker, one per request,
// which the page ends when the request is answered or cancelled. The parts
// live only in this page's memory; closing the document overwrites them.
//
// Everything a document says (its texts, part names, contents) is hostile:
// it reaches the page as text only (textContent), with control and
// direction characters made visible. Images are shown by the browser's image
// decoder (an img element, which runs no script); PDF parts by the browser's
// own viewer in a frame of their own, where the page's policy, which the
// frame inherits, still allows no connection. (Chromium shows no PDF in a
// sandboxed frame; and in one, its own image view is refused the inline
// style and script it needs, while a frame without an origin cannot load the
// page's blob: URLs at all.) Every other type can only be saved.

'use strict';

(() => {
  const $ = (id) => document.getElementById(id);

  // The message catalogue's entries (reader/message_catalogue.h).
  const Entry = {
    CantOpenFile: 0, Title: 12, ErrorTitle: 13, StopTitle: 14, InfoTitle: 15, UserNameLabel: 16,
    PasswordLabel: 17, Prompt: 18, OpeningTitle: 19, OpeningText: 20, HyperlinkUrl: 21,
    HyperlinkText: 22, OutOfMemory: 23,
  };
  const Kind = { Stop: 0, Information: 1, Error: 2, Warning: 3 };
  const KIND_TITLE = [Entry.StopTitle, Entry.InfoTitle, Entry.ErrorTitle, Entry.InfoTitle];
  const FLAG_NO_CREDENTIALS = 0x80000000;
  const FLAG_PASSWORD_ONLY = 0x10000000;
  const RESULT_WRONG_CREDENTIALS = -15;
  const RESULT_OUT_OF_MEMORY = -16;
  // Wrong credentials: the next try waits 3 s more per earlier failure, up to 15 s.
  const MAX_FAILED_ATTEMPTS = 5;
  const DELAY_PER_FAILURE_MS = 3000;
  // The flow's fixed texts, which a document cannot replace.
  const UNEXPECTED_ERROR_TEXT = 'An unexpected error occurred: ';
  const IO_ERROR_TEXT = 'I/O Error';
  const PRODUCT_NAME = 'Orlenta Reader';
  // The elements that show a document's texts, emptied when it closes.
  const DOCUMENT_TEXTS = ['prompt-title', 'prompt-text', 'user-label', 'password-label', 'link',
                          'progress-title', 'progress-text', 'document-name', 'message-title', 'message-text',
                          'save-name'];
  // A text part longer than this is shown in part; a saved copy holds it all.
  const SHOWN_TEXT_BYTES = 4 * 1024 * 1024;

  const TEXT_TYPES = new Set(['txt', 'text', 'csv', 'tsv', 'log', 'md', 'json', 'xml', 'ini']);
  const IMAGE_TYPES = new Map([
    ['png', 'image/png'], ['jpg', 'image/jpeg'], ['jpeg', 'image/jpeg'], ['gif', 'image/gif'],
    ['bmp', 'image/bmp'], ['webp', 'image/webp'], ['ico', 'image/x-icon'],
  ]);

  // ---- Texts from a document -------------------------------------------

  // A document's bytes as text: UTF-8 when they are valid UTF-8, else the
  // Windows Western code page the desktop module shows them in.
  function decodeText(bytes) {
    try {
      return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    } catch {
      return new TextDecoder('windows-1252').decode(bytes);
    }
  }

  // The first `limit` bytes of a part as text, by the same rule; and how
  // many bytes that was.
  function partText(part, limit) {
    const decodeWith = (decoder) => {
      let shown = 0;
      let body = '';
      for (const chunk of part.chunks) {
        if (shown >= limit) break;
        const piece = chunk.subarray(0, Math.min(chunk.length, limit - shown));
        body += decoder.decode(piece, { stream: true });
        shown += piece.length;
      }
      return { body, shown };
    };
    try {
      return decodeWith(new TextDecoder('utf-8', { fatal: true }));
    } catch {
      return decodeWith(new TextDecoder('windows-1252'));
    }
  }

  // Control characters, and the characters that turn text around or hide it,
  // made visible as \xNN or \uNNNN; line breaks kept where `lines` is true.
  const HIDDEN = /[\u0000-\u0008\u000B-\u001F\u007F-\u009F\u00AD\u061C\u180E\u200B-\u200F\u202A-\u202E\u2028\u2029\u2060-\u2069\uFEFF]/g;
  function inert(text, lines) {
    let shown = text.replace(/\r\n/g, '\n').replace(HIDDEN, (c) => {
      const code = c.charCodeAt(0);
      return code < 0x100 ? '\\x' + code.toString(16).toUpperCase().padStart(2, '0')
                          : '\\u' + code.toString(16).toUpperCase().padStart(4, '0');
    });
    if (!lines) shown = shown.replace(/\n/g, '\\x0A').replace(/\t/g, '\\x09');
    return shown;
  }

  // ---- The worker ------------------------------------------------------

  let workerUrl = null;
  function startWorker(request, onMessage, onFailure) {
    if (workerUrl === null) {
      const source = '(' + self.vaultpostWorkerSource.toString() + ')();';
      workerUrl = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
    }
    const worker = new Worker(workerUrl);
    worker.onmessage = (event) => {
      if (event.data.type !== 'failed') {
        onMessage(event.data);
        return;
      }
      worker.terminate();
      onFailure(event.data.reason);
    };
    worker.onerror = (event) => {
      event.preventDefault();
      worker.terminate();
      onFailure(event.message || 'the worker stopped');
    };
    worker.postMessage(request);
    return worker;
  }

  // ---- The open document -----------------------------------------------

  // { file, flags, texts[], errorTexts Map, icon, linkOpenable,
  //   failedAttempts, parts[], urls[], worker }
  let doc = null;

  // The catalogue's text for `entry` as the inspection reported it.
  function text(entry, fallback = '') {
    return doc && doc.texts[entry] !== undefined ? doc.texts[entry] : fallback;
  }

  function errorText(code) {
    return (doc && doc.errorTexts.get(code)) || IO_ERROR_TEXT;
  }

  function show(panel) {
    for (const id of ['start', 'prompt', 'progress', 'document']) $(id).hidden = id !== panel;
  }

  function keepUrl(blob) {
    const url = URL.createObjectURL(blob);
    doc.urls.push(url);
    return url;
  }

  function stopWorker() {
    if (doc && doc.worker) {
      doc.worker.terminate();
      doc.worker = null;
    }
  }

  // Overwrites the page's copies of the parts and forgets them.
  function wipeParts() {
    if (!doc) return;
    for (const part of doc.parts) {
      for (const chunk of part.chunks) chunk.fill(0);
      part.chunks.length = 0;
    }
    doc.parts = [];
  }

  // Ends the document: the worker, every object URL, every frame and text
  // that showed it, and the page's copies of its parts.
  function closeDocument() {
    if (!doc) return;
    stopWorker();
    $('viewer').replaceChildren();
    $('parts').replaceChildren();
    $('doc-icon').removeAttribute('src');
    $('doc-icon').hidden = true;
    for (const url of doc.urls) URL.revokeObjectURL(url);
    wipeParts();
    for (const id of ['user', 'password', 'file']) $(id).value = '';
    for (const id of DOCUMENT_TEXTS) $(id).textContent = '';
    for (const name of ['href', 'title']) $('link').removeAttribute(name);
    doc = null;
    show('start');
  }

  // One message in a modal box: the catalogue's title for its kind.
  function showMessage(body, kind = Kind.Stop) {
    const box = $('message');
    const title = text(KIND_TITLE[kind], PRODUCT_NAME);
    $('message-title').textContent = inert(title, false);
    $('message-text').textContent = inert(body, true);
    box.querySelector('.kind-icon').classList.toggle('information', kind === Kind.Information);
    return new Promise((resolve) => {
      box.addEventListener('close', () => resolve(), { once: true });
      box.showModal();
      $('message-ok').focus();
    });
  }

  // A failure another try cannot cure: the message, then the document closes.
  async function fail(body) {
    stopWorker();
    wipeParts();
    show('start');
    await showMessage(body);
    closeDocument();
  }

  function openFile(file) {
    closeDocument();
    doc = {
      file, flags: 0, texts: [], errorTexts: new Map(), icon: null, linkOpenable: false,
      failedAttempts: 0, parts: [], urls: [], worker: null,
    };
    const opened = doc;
    doc.worker = startWorker({ op: 'inspect', file }, (answer) => {
      if (doc !== opened || answer.type !== 'inspected') return;
      stopWorker();
      for (const { entry, bytes } of answer.texts) doc.texts[entry] = decodeText(bytes);
      for (const { code, bytes } of answer.errorTexts) doc.errorTexts.set(code, decodeText(bytes));
      doc.flags = answer.flags;
      doc.icon = answer.icon;
      doc.linkOpenable = answer.linkOpenable;
      if (answer.result !== 0) {
        fail(errorText(answer.result));
      } else if (doc.flags & FLAG_NO_CREDENTIALS) {
        decode(credentials('', ''));
      } else {
        showPrompt();
      }
    }, (reason) => { if (doc === opened) fail(UNEXPECTED_ERROR_TEXT + reason); });
  }

  // ---- The credentials prompt ------------------------------------------

  function showPrompt() {
    const passwordOnly = (doc.flags & FLAG_PASSWORD_ONLY) !== 0;
    $('prompt-title').textContent = inert(text(Entry.Title), false);
    const prompt = text(Entry.Prompt);
    $('prompt-text').textContent = inert(prompt, true);
    if (doc.icon) {
      $('doc-icon').src = keepUrl(new Blob([doc.icon.bytes], { type: doc.icon.mimeType }));
      $('doc-icon').hidden = false;
    }
    $('default-icon').classList.toggle('replaced', Boolean(doc.icon));
    // Password only: one masked field, labelled as the password.
    $('user-label').hidden = passwordOnly;
    $('user').hidden = passwordOnly;
    $('user-label').textContent = inert(text(Entry.UserNameLabel), false);
    $('password-label').textContent = inert(text(Entry.PasswordLabel), false);
    // The link of the desktop readers' rule; an address that could start a
    // program hides it as if the document had none.
    const url = text(Entry.HyperlinkUrl);
    const link = $('link');
    link.removeAttribute('href');
    link.textContent = '';
    if (url !== '' && doc.linkOpenable) {
      link.href = url;
      link.textContent = inert(text(Entry.HyperlinkText) || url, false);
      link.title = inert(url, false);
    }
    $('link-row').hidden = !link.hasAttribute('href');
    setPromptEnabled(true);
    $('prompt-status').textContent = '';
    show('prompt');
    (passwordOnly ? $('password') : $('user')).focus();
  }

  function setPromptEnabled(enabled) {
    for (const id of ['user', 'password', 'ok', 'cancel']) $(id).disabled = !enabled;
  }

  function restorePrompt() {
    setPromptEnabled(true);
    $('prompt-status').textContent = '';
    show('prompt');
    $('password').select();
    $('password').focus();
  }

  // The bytes of each character of the Windows Western code page above ASCII.
  const WINDOWS_1252 = new Map(Array.from({ length: 128 }, (_, i) =>
    [new TextDecoder('windows-1252').decode(new Uint8Array([0x80 + i])), 0x80 + i]));

  // `text` in the Windows Western code page, or null when it has a
  // character that code page lacks.
  function windows1252(text) {
    const out = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i) {
      const code = text.charCodeAt(i);
      const byte = code < 0x80 ? code : WINDOWS_1252.get(text[i]);
      if (byte === undefined) return null;
      out[i] = byte;
    }
    return out;
  }

  // The credentials as they are typed, in UTF-8; and, when they go beyond
  // ASCII, also in the code page the Windows module's dialogs pass, for the
  // documents made there.
  function credentials(userName, password) {
    const [user, secret] = [userName, password].map((text) => text.replace(/\u0000/g, ''));
    const tries = [{ userName: new TextEncoder().encode(user), password: new TextEncoder().encode(secret) }];
    if (/[^\u0000-\u007F]/.test(user + secret)) {
      const [user1252, secret1252] = [windows1252(user), windows1252(secret)];
      if (user1252 && secret1252) tries.push({ userName: user1252, password: secret1252 });
    }
    return tries;
  }

  $('credentials').addEventListener('submit', (event) => {
    event.preventDefault();
    if (!doc || doc.worker) return;
    const passwordOnly = (doc.flags & FLAG_PASSWORD_ONLY) !== 0;
    setPromptEnabled(false);
    decode(credentials(passwordOnly ? '' : $('user').value, $('password').value));
  });

  $('cancel').addEventListener('click', () => closeDocument());

  // ---- Decoding --------------------------------------------------------

  function decode(tries) {
    const attempt = doc;
    $('progress-title').textContent = inert(text(Entry.OpeningTitle), false);
    $('progress-text').textContent = inert(text(Entry.OpeningText), true);
    $('bar').value = 0;
    $('bar').removeAttribute('data-phase');
    show('progress');
    $('stop').focus();
    let part = null;
    doc.worker = startWorker({ op: 'decode', file: doc.file, credentials: tries }, (answer) => {
      if (doc !== attempt) return;
      switch (answer.type) {
        case 'progress':
          $('bar').dataset.phase = answer.phase;
          $('bar').value = answer.percent;
          break;
        case 'partBegin':
          part = { name: decodeText(answer.name), fileName: decodeText(answer.fileName), chunks: [], size: 0 };
          doc.parts.push(part);
          break;
        case 'partData':
          part.chunks.push(answer.bytes);
          part.size += answer.bytes.length;
          break;
        case 'partEnd':
          part = null;
          break;
        case 'decoded':
          stopWorker();
          decoded(answer.result);
          break;
      }
    }, (reason) => {
      if (doc !== attempt) return;
      // The browser ran out of memory for the core or the parts.
      fail(/memory|allocation|OOM/i.test(reason) ? errorText(RESULT_OUT_OF_MEMORY) : UNEXPECTED_ERROR_TEXT + reason);
    });
  }

  async function decoded(result) {
    if (result === 0) {
      $('password').value = '';
      showDocument();
      return;
    }
    wipeParts();
    const body = errorText(result);
    if (result === RESULT_WRONG_CREDENTIALS && !(doc.flags & FLAG_NO_CREDENTIALS)) {
      const attempt = doc;
      show('prompt');
      await waitBeforeRetry(doc.failedAttempts * DELAY_PER_FAILURE_MS);
      if (doc !== attempt) return;
      await showMessage(body);
      if (doc !== attempt) return;
      if (doc.failedAttempts < MAX_FAILED_ATTEMPTS) doc.failedAttempts += 1;
      restorePrompt();
      return;
    }
    await fail(body);
  }

  // The growing delay after wrong credentials, with the prompt disabled.
  function waitBeforeRetry(ms) {
    const until = Date.now() + ms;
    return new Promise((resolve) => {
      const tick = () => {
        const left = until - Date.now();
        if (left <= 0) {
          $('prompt-status').textContent = '';
          resolve();
          return;
        }
        $('prompt-status').textContent = `Please wait ${Math.ceil(left / 1000)} s`;
        setTimeout(tick, Math.min(left, 250));
      };
      tick();
    });
  }

  $('stop').addEventListener('click', () => {
    if (!doc) return;
    stopWorker();
    wipeParts();
    if (doc.flags & FLAG_NO_CREDENTIALS) closeDocument();
    else restorePrompt();
  });

  // ---- The decoded document ----------------------------------------------

  function typeOf(part) {
    const dot = part.name.lastIndexOf('.');
    const extension = dot >= 0 ? part.name.slice(dot + 1).toLowerCase() : '';
    if (TEXT_TYPES.has(extension)) return { kind: 'text', label: 'text' };
    if (IMAGE_TYPES.has(extension)) return { kind: 'image', label: 'image', mime: IMAGE_TYPES.get(extension) };
    if (extension === 'pdf' && startsWith(part, '%PDF-')) return { kind: 'pdf', label: 'PDF', mime: 'application/pdf' };
    return { kind: 'other', label: extension ? `.${inert(extension, false)} file` : 'file' };
  }

  function startsWith(part, magic) {
    const head = part.chunks.length > 0 ? part.chunks[0] : new Uint8Array(0);
    if (head.length < magic.length) return false;
    for (let i = 0; i < magic.length; ++i) if (head[i] !== magic.charCodeAt(i)) return false;
    return true;
  }

  function formatSize(bytes) {
    if (bytes < 1024) return `${bytes} bytes`;
    if (bytes < 1024 * 1024) return `${(bytes / 1024).toFixed(1)} KiB`;
    return `${(bytes / (1024 * 1024)).toFixed(1)} MiB`;
  }

  function element(tag, className, content) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (content !== undefined) node.textContent = content;
    return node;
  }

  function button(label, onClick) {
    const node = element('button', '', label);
    node.type = 'button';
    node.addEventListener('click', onClick);
    return node;
  }

  function showDocument() {
    $('document-name').textContent = inert(doc.file.name, false);
    const list = $('parts');
    list.replaceChildren();
    doc.parts.forEach((part, index) => {
      const type = typeOf(part);
      const item = element('li');
      item.append(element('span', 'name', inert(part.name, false)),
                  element('span', 'details', `${type.label}, ${formatSize(part.size)}${index === 0 ? ', main part' : ''}`));
      const actions = element('span', 'actions');
      if (type.kind !== 'other') actions.append(button('Show', () => showPart(part)));
      actions.append(button('Save a copy\u2026', () => saveCopy(part)));
      item.append(actions);
      list.append(item);
    });
    if (doc.parts.length > 0) showPart(doc.parts[0]);
    else $('viewer').replaceChildren(element('p', 'note', 'The document holds no parts.'));
    show('document');
    $('close').focus();
  }

  function showPart(part) {
    const viewer = $('viewer');
    const type = typeOf(part);
    const caption = element('p', 'caption');
    caption.append(element('span', 'name', inert(part.name, false)));
    if (type.kind === 'text') {
      const { body, shown } = partText(part, SHOWN_TEXT_BYTES);
      const view = element('pre', 'text-view', body);
      view.tabIndex = 0;
      if (shown < part.size) {
        caption.append(element('span', 'details', ` (the first ${formatSize(shown)} of ${formatSize(part.size)}; save a copy to read it all)`));
      }
      viewer.replaceChildren(caption, view);
      return;
    }
    if (type.kind === 'image') {
      // The browser's image decoder, which never runs script.
      const frame = element('div', 'image-view');
      const image = element('img');
      image.alt = inert(part.name, false);
      image.src = keepUrl(new Blob(part.chunks, { type: type.mime }));
      frame.append(image);
      viewer.replaceChildren(caption, frame);
      return;
    }
    if (type.kind === 'pdf') {
      const frame = document.createElement('iframe');
      frame.className = 'pdf-view';
      frame.title = inert(part.name, false);
      frame.src = keepUrl(new Blob(part.chunks, { type: type.mime }));
      viewer.replaceChildren(caption, frame);
      return;
    }
    const note = element('p', 'note', `The page cannot show this part (${type.label}). ` +
                                       'You can save a copy and open it with a program of your own.');
    viewer.replaceChildren(caption, note, button('Save a copy\u2026', () => saveCopy(part)));
  }

  // A copy on disk, after a warning: the one way a part leaves the page.
  function saveCopy(part) {
    const box = $('save-warning');
    $('save-name').textContent = inert(part.name, false);
    box.returnValue = '';
    box.addEventListener('close', () => {
      if (box.returnValue !== 'save' || !doc || !doc.parts.includes(part)) return;
      const link = document.createElement('a');
      link.href = keepUrl(new Blob(part.chunks, { type: 'application/octet-stream' }));
      link.download = part.fileName;
      link.click();
    }, { once: true });
    box.showModal();
    $('save-cancel').focus();
  }

  for (const id of ['save-confirm', 'save-cancel']) {
    $(id).addEventListener('click', (event) => {
      event.preventDefault();
      $('save-warning').close(event.currentTarget.value);
    });
  }
  $('message-ok').addEventListener('click', (event) => {
    event.preventDefault();
    $('message').close();
  });

  $('close').addEventListener('click', () => closeDocument());

  // ---- Choosing a document -----------------------------------------------

  $('file').addEventListener('change', () => {
    const file = $('file').files[0];
    if (file) openFile(file);
  });

  // A file dropped anywhere on the page opens it; the browser must not open it itself.
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    $('drop').classList.add('over');
  });
  document.addEventListener('dragleave', () => $('drop').classList.remove('over'));
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    $('drop').classList.remove('over');
    const file = event.dataTransfer && event.dataTransfer.files[0];
    if (file && (!doc || !doc.worker)) openFile(file);
  });

  window.addEventListener('pagehide', () => closeDocument());
})();
