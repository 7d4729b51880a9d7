(function () {
  'use strict';

  // ---------------------------------------------------------------------------
  // Contents: constants · native calls · theme · DOM write helpers · settings ·
  // status and toggles · pick · reassignment · profiles · preferences ·
  // panels and pop-out · window sizing · polling · start-up.
  // Only applyTheme, resizeHostWindow, ravelinStatusChanged and ravelinStatus are global: a panel
  // window appends a script with top-level `let` names of its own, so nothing else may leak.
  // ---------------------------------------------------------------------------

  var THEMES = ['modern-blue', 'midnight', 'paper'];
  var THEME_ALIASES = { dark: 'midnight', light: 'paper' };
  var DEFAULT_THEME = 'modern-blue';
  var THEME_STORE_KEY = 'ravelin.theme';

  // The program tells the page, in the main window and in a panel window alike, when what it shows
  // changes (ravelinStatusChanged), so an idle page reads only as a safety net (every read costs the
  // browser a few milliseconds, whatever it shows); live figures are read once a second where the
  // program does not hand them over; an outcome the page waits for (a toggle, a pick, a
  // reassignment) is read quickly.
  // An idle read is dear: the Linux browser engine drops what it needs to pass calls between the
  // page and the program 10 s after the last call and builds it again for the next, and an idle
  // page's script is cold; at one read every 30 s that was half of what an idle program cost. So
  // the safety net is wide, and the page also reads whenever its window gains focus, so that what
  // the user turns to is never older than that.
  var POLL_IDLE_MS = 300000;
  var POLL_RUNNING_MS = 1000;
  // A panel window is handed nothing: it reads the live figures itself at this pace while something runs.
  var POLL_PANEL_RUNNING_MS = 500;
  // While something runs the program hands the main page the status twice a second (ravelinStatus),
  // which costs the browser about a quarter less than a read; the page reads the figures itself
  // only when no hand-over has come for this long.
  var POLL_HANDED_MS = 3000;
  var POLL_BUSY_MS = 250;
  var POLL_MS = POLL_BUSY_MS;   // the first read
  // When not told of a change, the settings and the profiles are read again after this long.
  var SETTINGS_SAFETY_MS = 10000;
  var PROFILES_SAFETY_MS = 20000;
  var PICK_WAIT_MS = 30000;

  // The program's table of settings (window.ravelinSettings, put in the page's head by the program):
  // each setting's name, the call that sends it (group), default and range, and its place in the
  // profile settings text. The page lists no setting of its own.
  var SETTINGS_TABLE = Array.isArray(window.ravelinSettings) ? window.ravelinSettings : [];
  var SETTING = {};
  SETTINGS_TABLE.forEach(function (s) { SETTING[s.name] = s; });
  function settingNames(group) {
    return SETTINGS_TABLE.filter(function (s) { return s.group === group; }).map(function (s) { return s.name; });
  }
  var CLICKER_KEYS = settingNames('clicker');
  var KEYSPAM_KEYS = settingNames('keyspam');
  var TRACKER_KEYS = settingNames('tracker');
  var DEFAULT_SETTINGS = {};
  SETTINGS_TABLE.forEach(function (s) { if (s.page) DEFAULT_SETTINGS[s.name] = s.byDefault; });
  var PREF_KEYS = ['alwaysOnTop', 'launchOnStartup', 'startMinimized', 'hotkeysEnabled', 'disableAnimations'];
  var REASSIGN_HINTS = {
    rec: 'Press a key or a right, middle or side mouse button for Record… (Esc cancels)',
    play: 'Press a key or a right, middle or side mouse button for Play… (Esc cancels)',
    auto: 'Press a key or a right, middle or side mouse button for the auto clicker… (Esc cancels)',
    keyspamhotkey: 'Press a key or a right, middle or side mouse button for the key spammer… (Esc cancels)',
    keyspamtarget: 'Press the key to spam… (Esc cancels)',
    stopall: 'Press a key or a right, middle or side mouse button that stops everything… (Esc cancels)',
    profile1: 'Press a key or a right, middle or side mouse button for profile 1… (Esc cancels)',
    profile2: 'Press a key or a right, middle or side mouse button for profile 2… (Esc cancels)',
    profile3: 'Press a key or a right, middle or side mouse button for profile 3… (Esc cancels)'
  };
  var HOLDER_NAMES = {
    rec: 'the Record macro hotkey', play: 'the Play macro hotkey', auto: 'the Auto clicker hotkey',
    keyspamhotkey: 'the Key spammer hotkey', keyspamtarget: 'the key to spam', stopall: 'the Stop everything hotkey',
    profile1: 'the hotkey of profile 1', profile2: 'the hotkey of profile 2', profile3: 'the hotkey of profile 3'
  };
  // Characters the native side drops or escapes when it reads an argument list.
  var NAME_FORBIDDEN = /["\\\[\]]/;

  var root = document.documentElement;
  var isPanelWindow = typeof window.beginWindowDrag === 'function';
  root.classList.add(isPanelWindow ? 'panel-mode' : 'main-mode');

  function $(id) { return document.getElementById(id); }
  function all(sel, scope) { return Array.prototype.slice.call((scope || document).querySelectorAll(sel)); }

  // ---------------------------------------------------------------- native calls
  function has(name) { return typeof window[name] === 'function'; }

  // A missing binding, a throw and a rejected promise all end as undefined.
  function call(name) {
    var args = Array.prototype.slice.call(arguments, 1);
    if (!has(name)) return Promise.resolve(undefined);
    try {
      return Promise.resolve(window[name].apply(window, args)).then(null, function () { return undefined; });
    } catch (e) {
      return Promise.resolve(undefined);
    }
  }

  function isObj(v) { return v !== null && typeof v === 'object' && !Array.isArray(v); }

  // Whole numbers within the signed 32-bit range, as the native side reads them.
  function toInt(v) {
    if (typeof v === 'boolean') return v ? 1 : 0;
    var n = typeof v === 'number' ? v : parseInt(v, 10);
    if (!isFinite(n)) return 0;
    n = Math.trunc(n);
    if (n > 2147483647) return 2147483647;
    if (n < -2147483648) return -2147483648;
    return n;
  }

  // ---------------------------------------------------------------- theme
  function normaliseTheme(name) {
    var t = String(name == null ? '' : name).trim();
    if (THEMES.indexOf(t) >= 0) return t;
    if (Object.prototype.hasOwnProperty.call(THEME_ALIASES, t)) return THEME_ALIASES[t];
    return DEFAULT_THEME;
  }

  function applyTheme(name) {
    var t = normaliseTheme(name);
    if (root.getAttribute('data-theme') !== t) root.setAttribute('data-theme', t);
    var sel = $('theme-select');
    if (sel && sel.value !== t) sel.value = t;
    return t;
  }

  // The program keeps the theme (setTheme, getTheme) and opens panels in it;
  // the page also remembers the choice where the engine allows storage (it
  // may not for a page loaded from text), so that it shows before the program
  // answers.
  function loadStoredTheme() {
    try { return window.localStorage.getItem(THEME_STORE_KEY); } catch (e) { return null; }
  }
  function storeTheme(t) {
    if (has('setTheme')) call('setTheme', t);
    try {
      if (t === DEFAULT_THEME) window.localStorage.removeItem(THEME_STORE_KEY);
      else window.localStorage.setItem(THEME_STORE_KEY, t);
    } catch (e) { /* storage unavailable */ }
  }

  // ---------------------------------------------------------------- DOM writes
  // Every write goes through these and happens only when the shown value
  // differs, so polling an unchanged program costs no layout or paint.
  function setText(el, text) {
    text = String(text);
    if (el.__text !== text) { el.__text = text; el.textContent = text; }
  }
  function setFlag(el, cls, on) {
    on = !!on;
    if (el.classList.contains(cls) !== on) el.classList.toggle(cls, on);
  }
  function setHidden(el, hidden) {
    hidden = !!hidden;
    if (el.hidden !== hidden) el.hidden = hidden;
  }
  function setAttr(el, name, value) {
    if (value == null) { if (el.hasAttribute(name)) el.removeAttribute(name); return; }
    value = String(value);
    if (el.getAttribute(name) !== value) el.setAttribute(name, value);
  }
  function setDisabled(el, d) {
    d = !!d;
    if (el.disabled !== d) el.disabled = d;
  }
  function setChecked(el, c) {
    c = !!c;
    if (el.checked !== c) el.checked = c;
  }
  // Leaves a field alone while the user is typing into it.
  function showValue(input, text) {
    text = String(text);
    if (document.activeElement === input && input.__shown !== undefined && input.value !== input.__shown) return;
    input.__shown = text;
    if (input.value !== text) input.value = text;
  }

  // ---------------------------------------------------------------- settings
  // Each number field takes the range of its setting from the table.
  all('input.num[data-key], input.num[data-setting]').forEach(function (input) {
    var s = SETTING[input.getAttribute('data-key') || input.getAttribute('data-setting')];
    if (s) { input.setAttribute('data-min', s.min); input.setAttribute('data-max', s.max); }
  });

  var settings = Object.assign({}, DEFAULT_SETTINGS);
  var settingsEpoch = 0;   // bumped by every local change; older reads are dropped

  function mergeSettings(obj) {
    Object.keys(DEFAULT_SETTINGS).forEach(function (k) {
      var v = obj[k];
      if (typeof v === 'number' && isFinite(v)) settings[k] = v;
      else if (typeof v === 'boolean') settings[k] = v;
    });
  }

  // A panel window starts from the settings the main window hands over when it opens the panel, as
  // the profile settings text (each setting at its table's profileField); after that it reads them
  // from the main instance on every poll, so it shows changes made elsewhere within a poll.
  if (isPanelWindow && typeof window.panelSettings === 'string') {
    var seeded = window.panelSettings.split(',');
    var seedFrom = SETTINGS_TABLE.filter(function (s) { return s.page && s.profileField >= 0; });
    if (seedFrom.every(function (s) { return s.profileField < seeded.length; })) {
      var seed = {};
      seedFrom.forEach(function (s) { seed[s.name] = parseInt(seeded[s.profileField], 10); });
      mergeSettings(seed);
    }
  }

  function readSettings() {
    if (!has('getSettings')) return Promise.resolve();
    var epoch = settingsEpoch;
    return call('getSettings').then(function (s) {
      if (epoch !== settingsEpoch || !isObj(s)) return;
      mergeSettings(s);
      renderSettings();
      checkPickDone();
    });
  }

  function sendGroup(group) {
    settingsEpoch++;
    var keys = group === 'clicker' ? CLICKER_KEYS : KEYSPAM_KEYS;
    var fn = group === 'clicker' ? 'updateSpammer' : 'updateKeySpam';
    var args = keys.map(function (k) { return toInt(settings[k]); });
    renderSettings();
    return call.apply(null, [fn].concat(args)).then(readSettings);
  }

  // Settings kept by name go one at a time, as the pipe's changeSettings takes them.
  function sendSetting(el) {
    var group = el.getAttribute('data-group');
    if (group !== 'named') return sendGroup(group);
    settingsEpoch++;
    var key = el.getAttribute('data-key');
    renderSettings();
    return call('changeSettings', key + '=' + toInt(settings[key])).then(readSettings);
  }

  // Radio value shown for a stored number; mirrors how the workers read them.
  function radioValue(key, v) {
    switch (key) {
      case 'rptMode': case 'ksRptMode': return v === 0 ? '0' : '1';
      case 'locMode': case 'stype': return v === 1 ? '1' : '0';
      default: return String(v);
    }
  }

  function parseField(input) {
    var text = input.value.trim();
    if (!/^-?\d{1,10}$/.test(text)) return null;
    var v = Number(text);
    var min = Number(input.getAttribute('data-min') || 0);
    var max = Number(input.getAttribute('data-max') || 2147483647);
    return v >= min && v <= max ? v : null;
  }

  // A refused entry keeps its red border briefly and says why in words under its row.
  function fieldReason(input) {
    var min = Number(input.getAttribute('data-min') || 0);
    var max = Number(input.getAttribute('data-max') || 2147483647);
    var name = input.getAttribute('aria-label') || 'This field';
    return name.replace(/,.*$/, '') + ': enter a whole number from ' + min.toLocaleString('en-US') +
      ' to ' + max.toLocaleString('en-US') + '.';
  }

  function fieldMessage(input) {
    if (input.__msg) return input.__msg;
    var row = input.closest('.row') || input.parentNode;
    var msg = document.createElement('p');
    msg.className = 'field-msg';
    msg.setAttribute('role', 'alert');
    msg.id = 'msg-' + (input.id || input.getAttribute('data-key'));
    msg.hidden = true;
    row.parentNode.insertBefore(msg, row.nextSibling);
    input.setAttribute('aria-describedby', msg.id);
    input.__msg = msg;
    return msg;
  }

  function clearFieldMessage(input) {
    if (input.__msg) setHidden(input.__msg, true);
  }

  function markInvalid(input, reason) {
    input.setAttribute('aria-invalid', 'true');
    clearTimeout(input.__invalidTimer);
    input.__invalidTimer = setTimeout(function () { input.removeAttribute('aria-invalid'); }, 1200);
    var msg = fieldMessage(input);
    setText(msg, reason || fieldReason(input));
    setHidden(msg, false);
    clearTimeout(input.__msgTimer);
    input.__msgTimer = setTimeout(function () { clearFieldMessage(input); }, 6000);
  }

  function commitField(input) {
    var key = input.getAttribute('data-key');
    var v = parseField(input);
    if (v === null) {
      if (input.value !== String(settings[key])) markInvalid(input);
      else clearFieldMessage(input);
      input.__shown = String(settings[key]);
      input.value = input.__shown;
      return;
    }
    clearFieldMessage(input);
    input.__shown = String(v);
    input.value = input.__shown;
    if (v === settings[key]) return;
    settings[key] = v;
    sendSetting(input);
  }

  var numInputs = all('input.num[data-key]');
  // "Ctrl+Shift+" for the modifier bits 1 Ctrl, 2 Shift, 4 Alt, 8 Win.
  function modifierPrefix(mask) {
    var m = toInt(mask), out = '';
    ['Ctrl', 'Shift', 'Alt', 'Win'].forEach(function (name, i) { if (m & (1 << i)) out += name + '+'; });
    return out;
  }

  // Modifier boxes: one bit each of a setting kept by name.
  var bitBoxes = all('input[data-bit-setting]');
  bitBoxes.forEach(function (box) {
    box.addEventListener('change', function () {
      var key = box.getAttribute('data-bit-setting'), bit = Number(box.value);
      var mask = toInt(settings[key]);
      settings[key] = box.checked ? mask | bit : mask & ~bit;
      settingsEpoch++;
      renderSettings();
      renderReassign();
      call('changeSettings', key + '=' + settings[key]).then(readSettings);
    });
  });
  var namedFlags = all('input[data-named-flag]');
  namedFlags.forEach(function (input) {
    input.addEventListener('change', function () {
      var key = input.getAttribute('data-named-flag');
      settings[key] = input.checked;
      settingsEpoch++;
      call('changeSettings', key + '=' + (input.checked ? 1 : 0)).then(readSettings);
    });
  });
  var radios = all('input[type="radio"][data-key]');

  function fmtSpeed(v) {
    if (typeof v !== 'number' || !isFinite(v)) return '1';
    return String(Math.round(v * 1000) / 1000);
  }

  function renderSettings() {
    numInputs.forEach(function (input) { showValue(input, settings[input.getAttribute('data-key')]); });
    radios.forEach(function (r) {
      var key = r.getAttribute('data-key');
      setChecked(r, radioValue(key, settings[key]) === r.value);
    });
    setFlag($('c-count'), 'dim', settings.rptMode !== 0);
    setFlag($('k-count'), 'dim', settings.ksRptMode !== 0);
    setFlag($('fixed-row'), 'dim', settings.locMode !== 1 && !picking);
    setText($('fixed-xy'), 'X ' + settings.fixedX + ', Y ' + settings.fixedY);
    namedFlags.forEach(function (input) { setChecked(input, settings[input.getAttribute('data-named-flag')] === true); });
    bitBoxes.forEach(function (box) {
      setChecked(box, (toInt(settings[box.getAttribute('data-bit-setting')]) & Number(box.value)) !== 0);
    });
    // A zero interval is taken as it is: the page says what it means.
    setHidden($('clicker-fastest'), settings.sh + settings.sm + settings.ss + settings.sms > 0);
    setHidden($('keyspam-fastest'), settings.ksh + settings.ksm + settings.kss + settings.ksms > 0);
    renderTracker();
  }

  // ---------------------------------------------------------------- macro tracker settings
  var SPEED_MIN = SETTING.tspd ? SETTING.tspd.min : 0.1, SPEED_MAX = SETTING.tspd ? SETTING.tspd.max : 10;
  var switchButtons = all('[data-tswitch]');
  var speedRadios = all('input[name="tspd"]');
  var speedInput = $('tspd-input'), pauseInput = $('tloopms-input'), repeatInput = $('repeat-input');
  var loopSwitch = $('tloop-switch');
  var playRepeat = 0;

  function renderTracker() {
    switchButtons.forEach(function (b) {
      var on = settings[b.getAttribute('data-tswitch')] === true;
      setFlag(b, 'on', on);
      setAttr(b, 'aria-pressed', String(on));
    });
    var speed = typeof settings.tspd === 'number' && isFinite(settings.tspd) ? settings.tspd : 1;
    speedRadios.forEach(function (r) { setChecked(r, Number(r.value) === speed); });
    showValue(speedInput, fmtSpeed(speed));
    setChecked(loopSwitch, settings.tloop === true);
    showValue(pauseInput, toInt(settings.tloopMs));
    showValue(repeatInput, playRepeat);
    setFlag($('t-pause'), 'dim', settings.tloop !== true);
    setFlag($('t-repeat'), 'dim', settings.tloop !== true);
  }

  // Sends the tracker's values in the order the program takes them: switches as 1 or 0, the speed
  // as a number, whole numbers as integers.
  function sendTracker() {
    settingsEpoch++;
    renderTracker();
    var args = TRACKER_KEYS.map(function (k) {
      var v = settings[k];
      if (typeof v === 'boolean') return v ? 1 : 0;
      return k === 'tspd' ? v : toInt(v);
    });
    return call.apply(null, ['updateTracker'].concat(args)).then(readSettings);
  }

  switchButtons.forEach(function (b) {
    b.addEventListener('click', function () {
      var key = b.getAttribute('data-tswitch');
      settings[key] = settings[key] !== true;
      sendTracker();
    });
  });

  speedRadios.forEach(function (r) {
    r.addEventListener('change', function () {
      if (!r.checked) return;
      settings.tspd = Number(r.value);
      sendTracker();
    });
  });

  function commitSpeed() {
    var text = speedInput.value.trim().replace(/[x×]$/, '');
    var v = /^\d{0,2}(\.\d{1,3})?$/.test(text) && text !== '' && text !== '.' ? Number(text) : NaN;
    if (!(v >= SPEED_MIN && v <= SPEED_MAX)) {
      if (speedInput.value !== fmtSpeed(settings.tspd)) markInvalid(speedInput, 'Speed: enter a number from 0.1 to 10.');
      speedInput.__shown = fmtSpeed(settings.tspd);
      speedInput.value = speedInput.__shown;
      return;
    }
    clearFieldMessage(speedInput);
    speedInput.__shown = fmtSpeed(v);
    speedInput.value = speedInput.__shown;
    if (v === settings.tspd) return;
    settings.tspd = v;
    sendTracker();
  }

  // A whole-number field of the tracker: the new value, or null (shown again as it was).
  function commitWhole(input, current, apply) {
    var v = parseField(input);
    if (v === null) {
      if (input.value !== String(current)) markInvalid(input);
      input.__shown = String(current);
      input.value = input.__shown;
      return;
    }
    clearFieldMessage(input);
    input.__shown = String(v);
    input.value = input.__shown;
    if (v !== current) apply(v);
  }

  function commitPause() {
    commitWhole(pauseInput, toInt(settings.tloopMs), function (v) { settings.tloopMs = v; sendTracker(); });
  }

  function commitRepeat() {
    commitWhole(repeatInput, playRepeat, function (v) {
      playRepeat = v;
      if (has('setPlayRepeat')) call('setPlayRepeat', v).then(readRepeat);
    });
  }

  function readRepeat() {
    if (!has('getPlayRepeat')) return Promise.resolve();
    return call('getPlayRepeat').then(function (n) {
      if (typeof n === 'number' && isFinite(n)) { playRepeat = toInt(n); renderTracker(); }
    });
  }

  function commitDelay() {
    commitWhole($('delay-input'), clickDelay, function (v) {
      clickDelay = v;
      if (has('setClickStartDelay')) call('setClickStartDelay', v).then(readClickDelay);
    });
  }

  [[speedInput, commitSpeed], [pauseInput, commitPause], [repeatInput, commitRepeat], [$('delay-input'), commitDelay]].forEach(function (pair) {
    var input = pair[0], commit = pair[1];
    input.addEventListener('change', commit);
    input.addEventListener('keydown', function (e) {
      if (e.key === 'Enter') commit();
      else if (e.key === 'Escape') { input.__shown = undefined; renderTracker(); }
    });
    input.addEventListener('focus', function () { input.select(); });
  });

  loopSwitch.addEventListener('change', function () {
    settings.tloop = loopSwitch.checked;
    sendTracker();
  });

  numInputs.forEach(function (input) {
    input.addEventListener('change', function () { commitField(input); });
    input.addEventListener('keydown', function (e) {
      if (e.key === 'Enter') { commitField(input); }
      else if (e.key === 'Escape') {
        input.value = String(settings[input.getAttribute('data-key')]);
        input.__shown = input.value;
      } else if (e.key === 'ArrowUp' || e.key === 'ArrowDown') {
        e.preventDefault();
        var cur = parseField(input);
        if (cur === null) cur = toInt(settings[input.getAttribute('data-key')]);
        var next = cur + (e.key === 'ArrowUp' ? 1 : -1);
        var min = Number(input.getAttribute('data-min') || 0);
        var max = Number(input.getAttribute('data-max') || 2147483647);
        input.value = String(Math.min(max, Math.max(min, next)));
        commitField(input);
      }
    });
    input.addEventListener('focus', function () { input.select(); });
  });

  radios.forEach(function (r) {
    r.addEventListener('change', function () {
      if (!r.checked) return;
      settings[r.getAttribute('data-key')] = Number(r.value);
      sendSetting(r);
    });
  });

  // ---------------------------------------------------------------- status and toggles
  var status = null;       // last status text read, null until the first read
  var statusSeq = 0;       // number of status reads started
  var statusBusy = false;

  var TOGGLES = {
    clicker: {
      btn: $('clicker-toggle'), label: $('clicker-toggle-label'), key: $('clicker-toggle-key'),
      fn: 'toggleSpammer', flag: 'autoClicking', hk: 'hkAuto',
      start: 'Start clicking', stop: 'Stop clicking', pending: null
    },
    keyspam: {
      btn: $('keyspam-toggle'), label: $('keyspam-toggle-label'), key: $('keyspam-toggle-key'),
      fn: 'toggleKeySpam', flag: 'keySpamming', hk: 'hkKeySpam',
      start: 'Start key spam', stop: 'Stop key spam', pending: null
    },
    record: {
      btn: $('record-toggle'), label: $('record-toggle-label'), key: $('record-toggle-key'),
      fn: 'toggleRecord', state: 'Recording', hk: 'hkRec',
      start: 'Record', stop: 'Stop recording', pending: null
    },
    play: {
      btn: $('play-toggle'), label: $('play-toggle-label'), key: $('play-toggle-key'),
      fn: 'togglePlay', state: 'Playing', hk: 'hkPlay',
      start: 'Play', stop: 'Stop playback', pending: null
    }
  };

  function isRunning(t) {
    if (!status) return false;
    return t.state ? status.state === t.state : status[t.flag] === true;
  }

  function str(v, fallback) { return typeof v === 'string' ? v : fallback; }

  function renderToggle(t) {
    var running = isRunning(t);
    var text;
    if (t === TOGGLES.play && countdown) text = 'Starting in ' + countdown.left + '…';
    else if (!status) text = t.state ? t.start : 'Start / Stop';
    else if (t.pending) text = t.pending.want ? 'Starting…' : 'Stopping…';
    else text = running ? t.stop : t.start;
    setText(t.label, text);
    setFlag(t.btn, 'running', running);
    setFlag(t.btn, 'busy', !!t.pending);
    setAttr(t.btn, 'aria-pressed', status ? String(running) : null);
    var hk = status ? str(status[t.hk], '') : '';
    setText(t.key, hk);
    setHidden(t.key, !hk);
  }

  function toggle(name) {
    var t = TOGGLES[name];
    if (!has(t.fn)) return;
    // The request is only a request: the next status read tells what happened.
    t.pending = status ? { want: !isRunning(t), after: Infinity } : null;
    renderToggle(t);
    call(t.fn).then(function () {
      if (t.pending) t.pending.after = statusSeq + 1;
      pollSoon(60);
    });
  }
  // The clicker's own start delay: the page's Start button counts down first when one is set.
  var clickDelay = 0;
  var clickCountdown = null;   // { left, timer }

  function endClickCountdown() {
    if (!clickCountdown) return;
    clearInterval(clickCountdown.timer);
    clickCountdown = null;
  }

  function renderClickCountdown() {
    setHidden($('clicker-countdown'), !clickCountdown);
    if (clickCountdown) setText($('clicker-countdown-left'), clickCountdown.left);
    setFlag(TOGGLES.clicker.btn, 'counting', !!clickCountdown);
    if (clickCountdown) setText(TOGGLES.clicker.label, 'Starting in ' + clickCountdown.left + '…');
  }

  TOGGLES.clicker.btn.addEventListener('click', function () {
    if (clickCountdown) { endClickCountdown(); renderStatus(); return; }
    if (isRunning(TOGGLES.clicker) || clickDelay <= 0 || !has('toggleSpammer')) { toggle('clicker'); return; }
    clickCountdown = { left: clickDelay, timer: setInterval(function () {
      if (!clickCountdown) return;
      clickCountdown.left--;
      if (clickCountdown.left > 0) { renderStatus(); return; }
      endClickCountdown();
      readStatus().then(function () {
        if (!isRunning(TOGGLES.clicker)) toggle('clicker');
        else renderStatus();
      });
    }, 1000) };
    renderStatus();
  });

  function readClickDelay() {
    if (!has('getClickStartDelay')) return Promise.resolve();
    return call('getClickStartDelay').then(function (n) {
      if (typeof n === 'number' && n >= 0 && n <= 10) clickDelay = n;
      showValue($('delay-input'), clickDelay);
    });
  }

  var clickerWaiting = false;
  function readClickerWaiting() {
    if (!has('getClickerWaiting')) return Promise.resolve();
    return call('getClickerWaiting').then(function (w) {
      clickerWaiting = w === true;
      setHidden($('clicker-waiting'), !(clickerWaiting && isRunning(TOGGLES.clicker)));
    });
  }
  TOGGLES.keyspam.btn.addEventListener('click', function () { toggle('keyspam'); });
  TOGGLES.record.btn.addEventListener('click', function () { toggle('record'); });

  // Playback started here would replay into this window, which has the keyboard focus: it starts
  // after a visible countdown that leaves time to bring the target window to the front. Pressing
  // the button again cancels it. Stopping, and the play hotkey, act at once.
  var COUNTDOWN_SECONDS = 3;
  var countdown = null;    // { left, timer } while counting down

  function endCountdown() {
    if (!countdown) return;
    clearInterval(countdown.timer);
    countdown = null;
  }

  function renderCountdown() {
    setHidden($('play-countdown'), !countdown);
    if (countdown) setText($('play-countdown-left'), countdown.left);
    setFlag(TOGGLES.play.btn, 'counting', !!countdown);
    setAttr(TOGGLES.play.btn, 'aria-pressed', countdown ? 'true' : (status ? String(isRunning(TOGGLES.play)) : null));
  }

  TOGGLES.play.btn.addEventListener('click', function () {
    if (countdown) { endCountdown(); renderStatus(); return; }
    if (isRunning(TOGGLES.play) || !has('togglePlay')) { toggle('play'); return; }
    countdown = { left: COUNTDOWN_SECONDS, timer: setInterval(function () {
      if (!countdown) return;
      countdown.left--;
      if (countdown.left > 0) { renderStatus(); return; }
      endCountdown();
      // A fresh read: the play or record hotkey may have acted meanwhile, and a request now would
      // stop that playback rather than start one.
      readStatus().then(function () {
        if (status && status.state === 'Idle') toggle('play');
        else renderStatus();
      });
    }, 1000) };
    renderStatus();
  });

  // Live figures, shown next to what runs; each is rewritten only when its text changes. The
  // formatters are made once: toLocaleString builds a new one on every call, which costs more than
  // the rest of a status read.
  var COUNT_FORMAT = new Intl.NumberFormat('en-US');
  var RATE_FORMAT = new Intl.NumberFormat('en-US', { minimumFractionDigits: 1, maximumFractionDigits: 1 });
  function fmtRate(v) {
    var n = typeof v === 'number' && isFinite(v) && v > 0 ? v : 0;
    return RATE_FORMAT.format(n);
  }
  function plural(n, one, many) { return COUNT_FORMAT.format(n) + ' ' + (n === 1 ? one : many); }

  // The text of a figures line: the span inside it (see .figures in the style).
  function figuresText(name) { return $(name + '-figures').firstElementChild; }

  // A running clicker or key spammer shows its rate and count ("12 of 50" for a limited run); a stopped
  // one keeps its last run's total until the next start.
  // Seconds as h:mm:ss, or m:ss under an hour.
  function fmtClock(seconds) {
    var t = Math.max(0, toInt(seconds)), h = Math.floor(t / 3600), m = Math.floor(t / 60) % 60, sec = t % 60;
    var mm = h > 0 && m < 10 ? '0' + m : String(m);
    return (h > 0 ? h + ':' : '') + mm + ':' + (sec < 10 ? '0' : '') + sec;
  }
  function leftText(left) { return typeof left === 'number' && left >= 0 ? ' · ' + fmtClock(left) + ' left' : ''; }

  function runFigures(who, running, rate, count, last, limited, limit, one, many, left) {
    var n = toInt(count), stopped = toInt(last);
    setHidden($(who + '-figures'), !running && stopped <= 0);
    if (running) {
      var counted = limited ? COUNT_FORMAT.format(n) + ' of ' + plural(toInt(limit), one, many) : plural(n, one, many);
      setText(figuresText(who), fmtRate(rate) + ' ' + many + '/s · ' + counted + leftText(left));
    } else if (stopped > 0) {
      setText(figuresText(who), 'Stopped after ' + plural(stopped, one, many));
    }
  }

  function renderFigures() {
    var s = status || {};
    var clicking = s.autoClicking === true, spamming = s.keySpamming === true, playing = s.state === 'Playing';
    setHidden($('clicker-blocked'), !(clicking && s.inputBlocked === true));
    setHidden($('keyspam-blocked'), !(spamming && s.inputBlocked === true));
    runFigures('clicker', clicking, s.clickRate, s.clicks, s.lastClicks, settings.rptMode === 0, settings.rptTimes,
      'click', 'clicks', s.clickLeft);
    runFigures('keyspam', spamming, s.keyPressRate, s.keyPresses, s.lastKeyPresses, settings.ksRptMode === 0,
      settings.ksRptTimes, 'press', 'presses', s.keySpamLeft);
    renderStopTip(s, clicking ? s.hkAuto : spamming ? s.hkKeySpam : playing ? s.hkPlay : '');
    var events = toInt(s.playEvents), pass = toInt(s.playPass);
    setHidden($('play-figures'), !playing || events <= 0);
    if (playing && events > 0) {
      var passText = 'pass ' + pass + (settings.tloop === true && playRepeat > 0 ? ' of ' + playRepeat : '');
      setText(figuresText('play'), 'event ' + COUNT_FORMAT.format(toInt(s.playEvent)) + ' of ' +
        COUNT_FORMAT.format(events) + ' · ' + passText + leftText(s.playLeft));
    }
  }

  // The first time something starts, the page says how to stop it; the tip stays while it runs and is
  // not shown again (kept in the page's storage).
  // Where the page has no storage of its own, once per run of the program.
  var STOP_TIP_KEY = 'ravelin.stopTipShown';
  var stopTipShowing = false, stopTipDone = false;
  function renderStopTip(s, hotkey) {
    var running = typeof hotkey === 'string' && hotkey !== '';
    if (running && !stopTipShowing) {
      var seen = stopTipDone;
      try { seen = seen || window.localStorage.getItem(STOP_TIP_KEY) === '1'; } catch (e) { /* no storage */ }
      if (seen) return;
      try { window.localStorage.setItem(STOP_TIP_KEY, '1'); } catch (e) { /* no storage */ }
      stopTipShowing = stopTipDone = true;
      var how = 'Press ' + hotkey + (s.hkStopAll ? ' or ' + s.hkStopAll : '');
      setText($('stop-tip'), how + (settings.failSafe === false ? '' : ' or push the pointer into the top-left corner') +
        ' to stop.');
      setHidden($('stop-tip'), false);
    } else if (!running && stopTipShowing) {
      stopTipShowing = false;
      setHidden($('stop-tip'), true);
    }
  }

  var STATE_WORDS = { Idle: 'idle', Recording: 'recording', Playing: 'playing' };

  function renderStatus() {
    var s = status;
    if (s) {
      var state = STATE_WORDS.hasOwnProperty(s.state) ? s.state : 'Idle';
      var word = STATE_WORDS[state];
      // One line naming everything that runs, so the clicker and the tracker never read as two
      // contradicting states.
      var running = [];
      if (state !== 'Idle') running.push(state);
      if (s.autoClicking === true) running.push('Clicking');
      if (s.keySpamming === true) running.push('Key spam');
      setText($('bar-state-text'), running.length ? running.join(' · ') : 'Idle');
      setAttr($('bar-state'), 'data-state', state !== 'Idle' ? word : (running.length ? 'live' : 'idle'));
      setText($('tracker-state-text'), state);
      setAttr($('tracker-state'), 'data-state', word);
      var count = toInt(s.count);
      setText($('tracker-count'), COUNT_FORMAT.format(count));
      setText($('tracker-count-unit'), count === 1 ? 'event recorded' : 'events recorded');
      var hover = s.panelHover === true;
      setFlag($('dashboard'), 'drop-target', hover);
      setHidden($('drop-banner'), !hover);
      // What could not be saved stays in view until the program says it is saved.
      var problem = str(s.saveProblem, '');
      setHidden($('save-problem'), !problem);
      setText($('save-problem'), problem);
    }
    Object.keys(TOGGLES).forEach(function (k) { renderToggle(TOGGLES[k]); });
    renderCountdown();
    renderClickCountdown();
    setHidden($('clicker-waiting'), !(clickerWaiting && isRunning(TOGGLES.clicker)));
    var recording = !!(status && status.state === 'Recording');
    var playingNow = isRunning(TOGGLES.play);
    setDisabled(TOGGLES.record.btn, !has('toggleRecord') || playingNow || !!countdown);
    setDisabled(TOGGLES.play.btn, !has('togglePlay') || recording ||
      (!playingNow && !countdown && !!status && toInt(status.count) === 0));
    renderFigures();
    renderReassign();
    renderProfiles();
  }

  function applyStatus(s, seq) {
    var before = status;
    status = s;
    var runs = s.state !== 'Idle' || s.autoClicking === true || s.keySpamming === true;
    setFlag(root, 'dim-phase', runs && Math.floor(Date.now() / 1000) % 2 === 1);
    var wasWaiting = before ? str(before.reassigning, '') : '';
    if (wasWaiting && !str(s.reassigning, '')) {
      readRefusal(wasWaiting);
      reassignEndedAt = Date.now();
    }
    if (!before || before.state !== s.state || before.count !== s.count) readReplaced();
    if (s.autoClicking === true) {
      if (clickCountdown) endClickCountdown();
      // The status says whether the clicker waits; a program that does not say is asked.
      if (typeof s.clickerWaiting === 'boolean') clickerWaiting = s.clickerWaiting;
      else readClickerWaiting();
    } else {
      clickerWaiting = false;
    }
    // Playback or a recording started some other way (a hotkey) makes the countdown moot.
    if (countdown && s.state !== 'Idle') endCountdown();
    Object.keys(TOGGLES).forEach(function (k) {
      var t = TOGGLES[k];
      if (t.pending && seq >= t.pending.after) t.pending = null;
    });
    if (Array.isArray(s.restore)) s.restore.forEach(function (n) { restorePanel(String(n)); });
    renderStatus();
  }

  function readStatus() {
    if (statusBusy || !has('getTrackerStatus')) return Promise.resolve();
    statusBusy = true;
    var seq = ++statusSeq;
    return call('getTrackerStatus').then(function (s) {
      statusBusy = false;
      if (isObj(s)) applyStatus(s, seq);
    }, function () { statusBusy = false; });
  }

  // ---------------------------------------------------------------- replaced recording
  // After a recording the one it replaced can be brought back once.
  var replacedCount = 0;

  function renderReplaced() {
    var show = replacedCount > 0 && !(status && status.state !== 'Idle');
    setHidden($('replaced-offer'), !show);
    if (show) {
      setText($('replaced-text'), 'The last recording replaced ' + plural(replacedCount, 'event', 'events') + '.');
      setText($('replaced-btn'), replacedCount === 1 ? 'Bring it back' : 'Bring them back');
    }
  }

  function readReplaced() {
    if (!has('getReplacedRecording')) return Promise.resolve();
    return call('getReplacedRecording').then(function (n) {
      replacedCount = typeof n === 'number' && n > 0 ? n : 0;
      renderReplaced();
    });
  }

  $('replaced-btn').addEventListener('click', function () {
    if (!has('restoreRecording')) return;
    var focusAfter = TOGGLES.play.btn;
    call('restoreRecording').then(function () {
      return Promise.all([readStatus(), readReplaced()]);
    }).then(function () {
      if (document.activeElement === document.body || $('replaced-offer').hidden) focusAfter.focus();
    });
  });

  // ---------------------------------------------------------------- pick location
  var picking = null;      // { x, y, loc, until } while a pick may be pending

  function renderPick() {
    setHidden($('pick-hint'), !picking);
    setText($('pick-btn'), picking ? 'Waiting for a click…' : 'Pick on screen');
    setFlag($('pick-btn'), 'waiting', !!picking);
    setFlag($('fixed-row'), 'dim', settings.locMode !== 1 && !picking);
  }

  function checkPickDone() {
    if (!picking) return;
    var moved = settings.fixedX !== picking.x || settings.fixedY !== picking.y || settings.locMode !== picking.loc;
    if (moved || Date.now() > picking.until) { picking = null; renderPick(); }
  }

  $('pick-btn').addEventListener('click', function () {
    if (!has('pickLocation')) return;
    picking = { x: settings.fixedX, y: settings.fixedY, loc: settings.locMode, until: Date.now() + PICK_WAIT_MS };
    renderPick();
    call('pickLocation').then(function () { pollSoon(0); });
  });

  // ---------------------------------------------------------------- reassignment
  var reassignButtons = all('[data-reassign]');
  var hotkeyChips = all('[data-hk]');
  // The key being chosen may be Space or Enter, which also press the focused Change button once the
  // program lets the key go: such a press while waiting, or just after, is that key, not a new change.
  var KEY_PRESS_AFTER_MS = 1000;
  var reassignEndedAt = 0;
  function isChosenKeyPress(e) {
    var waiting = status && str(status.reassigning, '');
    return e.detail === 0 && (waiting || Date.now() - reassignEndedAt < KEY_PRESS_AFTER_MS);
  }

  function renderReassign() {
    var waiting = status ? str(status.reassigning, '') : '';
    if (!REASSIGN_HINTS.hasOwnProperty(waiting)) waiting = '';
    reassignButtons.forEach(function (b) {
      var on = b.getAttribute('data-reassign') === waiting;
      setText(b, on ? 'Waiting…' : 'Change');
      setFlag(b, 'waiting', on);
      setAttr(b, 'aria-pressed', on ? 'true' : 'false');
    });
    hotkeyChips.forEach(function (chip) {
      var key = chip.getAttribute('data-hk');
      var word = chip.parentNode.getAttribute('data-word');
      var on = word === waiting;
      var name = status ? str(status[key], '?') : '—';
      setText(chip, on ? 'Press a key…' : (name === '' ? 'None' : name));
      setFlag(chip, 'waiting', on);
    });
    var target = $('target-key');
    var tOn = waiting === 'keyspamtarget';
    setText(target, tOn ? 'Press a key…' : (status ? modifierPrefix(settings.keySpamModifiers) + str(status.keySpamTarget, '?') : '—'));
    setFlag(target, 'waiting', tOn);
    var hint = $('hk-hint');
    setHidden(hint, !waiting);
    if (waiting) setText(hint, REASSIGN_HINTS[waiting]);
    var tHint = $('target-hint');
    setHidden(tHint, !tOn);
  }

  // A key another action already has is refused by the program: say which action has it.
  function showRefusal(word, refusal) {
    var text = '';
    if (refusal && typeof refusal.key === 'string' && HOLDER_NAMES.hasOwnProperty(refusal.holder)) {
      text = refusal.key + ' is already ' + HOLDER_NAMES[refusal.holder] + '. Choose another key.';
    }
    var box = word === 'keyspamtarget' ? $('target-refused') : $('hk-refused');
    setText($('hk-refused'), text);
    setHidden($('hk-refused'), !text);
    setText($('target-refused'), text);
    setHidden($('target-refused'), !text || box !== $('target-refused'));
  }

  function readRefusal(word) {
    if (!has('getReassignRefusal')) return;
    call('getReassignRefusal').then(function (r) { showRefusal(word, isObj(r) ? r : null); });
  }

  reassignButtons.forEach(function (b) {
    b.addEventListener('click', function (e) {
      if (!has('reassignKey') || isChosenKeyPress(e)) return;
      var word = b.getAttribute('data-reassign');
      showRefusal(word, null);
      call('reassignKey', word).then(function () { pollSoon(0); });
    });
  });

  $('reset-hotkeys').addEventListener('click', function () {
    if (!has('resetHotkeys')) return;
    call('resetHotkeys').then(function () { pollSoon(0); });
  });

  // ---------------------------------------------------------------- inline confirmation
  // No confirm(): the host may not show browser dialogs.
  function askConfirm(box, trigger, onYes) {
    var yes = box.querySelector('[data-confirm-yes]');
    var no = box.querySelector('[data-confirm-no]');
    function close() {
      box.hidden = true;
      yes.onclick = no.onclick = box.onkeydown = null;
      // The focused button just went away: give the keyboard a place to be.
      focusSafe(trigger);
    }
    yes.onclick = function () { close(); onYes(); };
    no.onclick = function () { close(true); };
    box.onkeydown = function (e) { if (e.key === 'Escape') { e.preventDefault(); close(true); } };
    box.hidden = false;
    no.focus();
  }

  // ---------------------------------------------------------------- profiles
  var profiles = null;     // last profiles text read
  var profileListKey = '';

  function readProfiles() {
    if (!has('getProfiles')) return Promise.resolve();
    return call('getProfiles').then(function (p) {
      if (!isObj(p)) return;
      profiles = p;
      renderProfiles();
    });
  }

  function profileNames() {
    return profiles && Array.isArray(profiles.names) ? profiles.names.map(function (n) { return String(n); }) : [];
  }

  function refreshAfterProfileChange() {
    return Promise.all([readProfiles(), readSettings(), readStatus()]);
  }

  function buildProfileList(names, current, locked) {
    var list = $('profile-list');
    var focusedIndex = -1, focusedAct = null;
    var active = document.activeElement;
    if (active && list.contains(active)) {
      focusedIndex = Number(active.getAttribute('data-index'));
      focusedAct = active.getAttribute('data-act');
    }
    while (list.firstChild) list.removeChild(list.firstChild);
    names.forEach(function (name, i) {
      var li = document.createElement('li');
      var b = document.createElement('button');
      b.type = 'button';
      b.className = 'profile';
      b.setAttribute('data-index', String(i));
      var isCurrent = i === current;
      if (isCurrent) b.setAttribute('aria-current', 'true');
      b.disabled = !isCurrent && (locked || !has('switchProfile'));
      var dot = document.createElement('span');
      dot.className = 'radio';
      dot.setAttribute('aria-hidden', 'true');
      var label = document.createElement('span');
      label.className = 'pname';
      label.textContent = name;
      b.title = name;
      b.appendChild(dot);
      b.appendChild(label);
      if (isCurrent) {
        var tag = document.createElement('span');
        tag.className = 'tag';
        tag.textContent = 'Active';
        b.appendChild(tag);
      }
      b.addEventListener('click', function () {
        if (isCurrent || !has('switchProfile')) return;
        call('switchProfile', i).then(refreshAfterProfileChange);
      });
      li.appendChild(b);
      li.appendChild(rowButton('rename', i, 'Rename', name, locked || !has('renameProfile')));
      var del = rowButton('delete', i, 'Delete…', name, locked || names.length < 2 || !has('deleteProfileAt'));
      if (names.length < 2) del.title = 'The last profile cannot be deleted';
      li.appendChild(del);
      list.appendChild(li);
    });
    if (focusedIndex >= 0) {
      var sel = '[data-index="' + focusedIndex + '"]' + (focusedAct ? '[data-act="' + focusedAct + '"]' : ':not([data-act])');
      var again = list.querySelector(sel) || list.querySelector('[data-index="' + Math.min(focusedIndex, names.length - 1) + '"]');
      if (again && !again.disabled) again.focus();
      else if (list.contains(active) || document.activeElement === document.body) focusSafe($('add-name'));
    }
  }

  function rowButton(act, i, label, name, disabled) {
    var b = document.createElement('button');
    b.type = 'button';
    b.className = 'btn sm' + (act === 'delete' ? ' ghost-danger' : '');
    b.setAttribute('data-index', String(i));
    b.setAttribute('data-act', act);
    b.setAttribute('aria-label', (act === 'delete' ? 'Delete ' : 'Rename ') + name);
    b.textContent = label;
    b.disabled = disabled;
    b.addEventListener('click', function () {
      if (act === 'rename') startRename(i, name);
      else askDelete(i, name, b);
    });
    return b;
  }

  // Focus goes to the first of these that can take it, so the keyboard is never left on nothing.
  function focusSafe() {
    for (var i = 0; i < arguments.length; i++) {
      var el = arguments[i];
      if (el && !el.disabled && !el.hidden && el.offsetParent !== null) { el.focus(); return true; }
    }
    var first = document.querySelector('main button:not(:disabled), main input:not(:disabled)');
    if (first) first.focus();
    return !!first;
  }

  var renaming = -1;

  function showRenameMessage(text) {
    setText($('rename-msg'), text);
    setHidden($('rename-msg'), !text);
  }

  function startRename(i, name) {
    renaming = i;
    var input = $('rename-name');
    input.value = name;
    setText($('rename-label'), 'New name for ' + name);
    setHidden($('rename-form'), false);
    showRenameMessage('');
    input.focus();
    input.select();
  }

  function endRename() {
    var index = renaming;
    renaming = -1;
    setHidden($('rename-form'), true);
    showRenameMessage('');
    focusSafe($('profile-list').querySelector('[data-act="rename"][data-index="' + index + '"]'), $('add-name'));
  }

  // Profiles are told apart by name: the same name in other letter case counts as taken.
  function takenName(name, except) {
    var key = name.trim().toLowerCase();
    return profileNames().some(function (other, i) { return i !== except && String(other).trim().toLowerCase() === key; });
  }

  $('rename-form').addEventListener('submit', function (e) {
    e.preventDefault();
    var input = $('rename-name');
    var name = input.value.trim();
    if (!name) { showRenameMessage('Enter a name for the profile.'); input.focus(); return; }
    if (NAME_FORBIDDEN.test(name)) { showRenameMessage('Profile names cannot contain " \\ [ or ].'); input.focus(); return; }
    if (takenName(name, renaming)) { showRenameMessage('Another profile is named "' + name + '". Choose another name.'); input.focus(); return; }
    if (renaming < 0 || !has('renameProfile')) { endRename(); return; }
    var index = renaming;
    call('renameProfile', index, name).then(refreshAfterProfileChange).then(endRename);
  });
  $('rename-cancel').addEventListener('click', endRename);
  $('rename-form').addEventListener('keydown', function (e) {
    if (e.key === 'Escape') { e.preventDefault(); endRename(); }
  });

  function askDelete(i, name, trigger) {
    setText($('profile-confirm-text'), 'Delete "' + name + '" and its recording?');
    setText($('profile-confirm-yes'), 'Delete');
    askConfirm($('profile-confirm'), trigger, function () {
      call('deleteProfileAt', i).then(refreshAfterProfileChange).then(function () {
        focusSafe($('profile-list').querySelector('.profile[aria-current="true"]'), $('add-name'));
      });
    });
  }

  function renderProfiles() {
    var names = profileNames();
    var current = profiles ? toInt(profiles.current) : -1;
    var cap = profiles && typeof profiles.cap === 'number' ? toInt(profiles.cap) : 3;
    var locked = !!(status && status.state === 'Recording');
    var key = JSON.stringify([names, current, locked]);
    if (key !== profileListKey) {
      profileListKey = key;
      buildProfileList(names, current, locked);
    }
    var atCap = names.length >= cap;
    setText($('profiles-count'), profiles ? names.length + ' of ' + cap : '');
    setHidden($('profiles-locked'), !locked);
    var canAdd = has('addProfile') && !!profiles && !atCap && !locked;
    setDisabled($('add-name'), !canAdd);
    setDisabled($('add-btn'), !canAdd);
    setAttr($('add-name'), 'placeholder', atCap ? 'Limit of ' + cap + ' profiles reached' : 'New profile name');
    setDisabled($('clear-btn'), !has('clearProfile') || locked);
    var name = current >= 0 && current < names.length ? names[current] : '';
    setHidden($('tracker-profile'), !name);
    setText($('tracker-profile-name'), name);
  }

  function showAddMessage(text, isError) {
    var msg = $('add-msg');
    setText(msg, text);
    setFlag(msg, 'warn', !!isError);
    setHidden(msg, !text);
  }

  $('add-form').addEventListener('submit', function (e) {
    e.preventDefault();
    var input = $('add-name');
    var name = input.value.trim();
    if (!name) { showAddMessage('Enter a name for the new profile.', true); input.focus(); return; }
    if (NAME_FORBIDDEN.test(name)) {
      showAddMessage('Profile names cannot contain " \\ [ or ].', true);
      input.focus();
      return;
    }
    if (takenName(name, -1)) {
      showAddMessage('A profile named "' + name + '" exists already. Choose another name.', true);
      input.focus();
      return;
    }
    if (!has('addProfile')) return;
    showAddMessage('', false);
    input.value = '';
    call('addProfile', name).then(refreshAfterProfileChange);
  });
  $('add-name').addEventListener('input', function () { if (!$('add-msg').hidden) showAddMessage('', false); });

  $('clear-btn').addEventListener('click', function () {
    setText($('profile-confirm-text'), 'Erase this profile\'s recording and return its clicker and key spam settings to the defaults?');
    setText($('profile-confirm-yes'), 'Clear');
    askConfirm($('profile-confirm'), $('clear-btn'), function () {
      call('clearProfile').then(refreshAfterProfileChange);
    });
  });

  // ---------------------------------------------------------------- preferences
  var prefs = { alwaysOnTop: false, launchOnStartup: false, startMinimized: false, hotkeysEnabled: true, disableAnimations: false };
  var prefInputs = all('input[data-pref]');

  function renderPrefs() {
    prefInputs.forEach(function (i) { setChecked(i, prefs[i.getAttribute('data-pref')]); });
    setFlag(root, 'no-anim', prefs.disableAnimations);
    setFlag(root, 'hotkeys-off', !prefs.hotkeysEnabled);
    setHidden($('hk-off'), prefs.hotkeysEnabled);
  }

  function readPrefs() {
    if (!has('getAppSettings')) return Promise.resolve();
    return call('getAppSettings').then(function (a) {
      if (!isObj(a)) return;
      PREF_KEYS.forEach(function (k) { if (typeof a[k] === 'boolean') prefs[k] = a[k]; });
      renderPrefs();
    });
  }

  prefInputs.forEach(function (input) {
    input.addEventListener('change', function () {
      var key = input.getAttribute('data-pref');
      if (!has('setAppSetting')) { setChecked(input, prefs[key]); return; }
      prefs[key] = input.checked;
      renderPrefs();
      // The native side takes exactly "1" as on: never pass true/false.
      call('setAppSetting', key, input.checked ? 1 : 0).then(readPrefs);
    });
  });

  $('theme-select').addEventListener('change', function () {
    storeTheme(applyTheme($('theme-select').value));
  });

  $('reset-all-btn').addEventListener('click', function () {
    askConfirm($('reset-confirm'), $('reset-all-btn'), function () {
      if (!has('resetEverything')) return;
      call('resetEverything').then(function () {
        storeTheme(applyTheme(DEFAULT_THEME));
        settingsEpoch++;
        return Promise.all([readPrefs(), readSettings(), readProfiles(), readStatus(), readRepeat(), readClickDelay()]);
      }).then(function () { focusSafe($('reset-all-btn')); });
    });
  });

  // Tab with nothing focused (the focused control went away, or the window came back) starts
  // at the first or, with Shift, the last control of the page, so Tab always cycles.
  document.addEventListener('keydown', function (e) {
    if (e.key !== 'Tab') return;
    var active = document.activeElement;
    if (active && active !== document.body && active !== root && active.offsetParent !== null) return;
    var items = all('button, input, select, [tabindex]:not([tabindex="-1"])').filter(function (el) {
      return !el.disabled && el.offsetParent !== null;
    });
    if (!items.length) return;
    e.preventDefault();
    items[e.shiftKey ? items.length - 1 : 0].focus();
  });

  // ---------------------------------------------------------------- panels and pop-out
  var panels = all('.panel');

  function panelByName(name) {
    for (var i = 0; i < panels.length; i++) {
      if (panels[i].getAttribute('data-panel-name') === name) return panels[i];
    }
    return null;
  }

  function setPopped(panel, popped) {
    setFlag(panel, 'popped', popped);
    var note = $(panel.id + '-note');
    if (note) setHidden(note, !popped);
  }

  function restorePanel(name) {
    var p = panelByName(name);
    if (p) setPopped(p, false);
  }

  // Screen point under the pop-out button in device pixels, the unit that
  // native window placement uses; keyboard activation has no pointer point.
  function screenPoint(e, btn) {
    var dpr = window.devicePixelRatio || 1;
    var x, y;
    if (e && e.detail > 0 && (e.screenX || e.screenY)) {
      x = e.screenX; y = e.screenY;
    } else {
      var r = btn.getBoundingClientRect();
      var frameX = Math.max(0, (window.outerWidth - window.innerWidth) / 2);
      var frameY = Math.max(0, window.outerHeight - window.innerHeight - frameX);
      x = (window.screenX || 0) + frameX + r.left + r.width / 2;
      y = (window.screenY || 0) + frameY + r.top + r.height / 2;
    }
    return [Math.round(x * dpr), Math.round(y * dpr)];
  }

  all('[data-popout]').forEach(function (btn) {
    var panel = btn.closest('.panel');
    if (isPanelWindow) {
      btn.setAttribute('aria-label', 'Close this window and return the panel');
      btn.title = 'Back to the main window';
      btn.addEventListener('click', function () { call('closeThisWindow'); });
      if (!has('closeThisWindow')) btn.hidden = true;
      return;
    }
    if (!has('openPanel')) { btn.hidden = true; return; }
    btn.addEventListener('click', function (e) {
      if (!has('openPanel')) return;
      var pt = screenPoint(e, btn);
      setPopped(panel, true);
      call('openPanel', panel.getAttribute('data-panel-name'), panel.id, pt[0], pt[1]);
    });
  });

  all('[data-show-here]').forEach(function (b) {
    b.addEventListener('click', function () {
      var p = $(b.getAttribute('data-show-here'));
      if (!p) return;
      // The panel's own window ends too, so the panel is never shown twice.
      if (has('closePanel')) call('closePanel', p.getAttribute('data-panel-name'));
      setPopped(p, false);
      focusSafe(p.querySelector('[data-popout]'));
    });
  });

  // Controls whose binding is missing: hidden in a panel window (it lacks
  // them by design), disabled in the main window.
  all('[data-needs]').forEach(function (el) {
    if (has(el.getAttribute('data-needs'))) return;
    if (isPanelWindow && el.tagName !== 'FIELDSET') el.hidden = true;
    else el.disabled = true;
  });

  // ---------------------------------------------------------------- macro library
  // The library's calls start a job in the program and return its number at once (files are read
  // and written off the window thread); the page then asks for the job's outcome until it is done.
  var MACRO_POLL_MS = 100;
  var macroBusy = false;

  function macroJob(name) {
    var args = Array.prototype.slice.call(arguments);
    return call.apply(null, args).then(function (job) {
      if (typeof job !== 'number' || job <= 0) return { done: true, ok: false, message: 'The program is busy with other macro files: try again in a moment.' };
      return new Promise(function (resolve) {
        (function ask() {
          call('getMacroJob', job).then(function (r) {
            if (!isObj(r)) resolve({ done: true, ok: false, message: 'No answer from the program.' });
            else if (r.done) resolve(r);
            else setTimeout(ask, MACRO_POLL_MS);
          });
        })();
      });
    });
  }

  function macroSay(text, warn) {
    var msg = $('macro-msg');
    setText(msg, text || '');
    setHidden(msg, !text);
    setFlag(msg, 'warn', !!warn);
  }

  // Several operations never overlap from the page: the buttons wait for the one under way.
  function macroRun(name) {
    if (macroBusy) return Promise.resolve(null);
    macroBusy = true;
    renderMacroBusy();
    return macroJob.apply(null, arguments).then(function (r) {
      macroBusy = false;
      renderMacroBusy();
      return r;
    });
  }

  function renderMacroBusy() {
    all('#macro-library button').forEach(function (b) {
      if (!b.hasAttribute('data-confirm-no') && !b.hasAttribute('data-confirm-yes')) b.disabled = macroBusy;
    });
  }

  function macroLength(ms) {
    var tenths = Math.round(ms / 100);
    if (tenths < 600) return (tenths / 10).toFixed(1) + ' s';
    var minutes = Math.floor(tenths / 600);
    var seconds = (tenths % 600) / 10;
    if (minutes < 60) return minutes + ':' + (seconds < 10 ? '0' : '') + seconds.toFixed(1);
    return Math.floor(minutes / 60) + ' h ' + (minutes % 60) + ' min';
  }

  function macroDate(seconds) {
    var d = new Date(seconds * 1000);
    return isNaN(d.getTime()) ? '' : d.toLocaleDateString() + ' ' + d.toLocaleTimeString([], { hour: '2-digit', minute: '2-digit' });
  }

  function renderMacros(list) {
    var ul = $('macro-list');
    while (ul.firstChild) ul.removeChild(ul.firstChild);
    setHidden($('macro-empty'), list.length > 0);
    list.forEach(function (m) {
      var name = String(m.name);
      var li = document.createElement('li');
      li.setAttribute('data-macro', name);
      var title = document.createElement('span');
      title.className = 'mname';
      title.textContent = name;
      title.title = name;
      var meta = document.createElement('span');
      meta.className = 'mmeta' + (m.problem ? ' warn' : '');
      meta.textContent = m.problem ? 'Cannot be loaded: ' + m.problem
        : plural(Number(m.steps) || 0, 'step', 'steps') + ' · ' + macroLength(Number(m.lengthMs) || 0) + ' · ' + macroDate(Number(m.modified));
      li.appendChild(title);
      li.appendChild(meta);
      [['load', 'Load'], ['rename', 'Rename'], ['duplicate', 'Duplicate'], ['export', 'Export'], ['delete', 'Delete…']].forEach(function (a) {
        var b = document.createElement('button');
        b.type = 'button';
        b.className = 'btn sm' + (a[0] === 'delete' ? ' ghost-danger' : '');
        b.setAttribute('data-macro-act', a[0]);
        b.setAttribute('aria-label', a[1].replace('…', '') + ' ' + name);
        b.textContent = a[1];
        b.disabled = macroBusy || (a[0] === 'load' && !!m.problem);
        b.addEventListener('click', function () { macroAct(a[0], name, b); });
        li.appendChild(b);
      });
      ul.appendChild(li);
    });
  }

  function readMacros() {
    if (!has('listMacros')) return Promise.resolve();
    return macroJob('listMacros').then(function (r) {
      if (r && r.ok && Array.isArray(r.macros)) renderMacros(r.macros);
    });
  }

  // Runs an operation, says its outcome and reads the list again; `replace` asks before the same
  // operation is done again over what exists.
  function macroDo(args, replaceQuestion) {
    return macroRun.apply(null, args).then(function (r) {
      if (!r) return;
      if (!r.ok && replaceQuestion && /already\.$/.test(String(r.message))) {
        setText($('macro-confirm-text'), replaceQuestion);
        setText($('macro-confirm-yes'), 'Replace');
        askConfirm($('macro-confirm'), $('macro-save-btn'), function () {
          macroDo(args.concat([true]));
        });
        return;
      }
      macroSay(String(r.message || ''), !r.ok);
      if (args[0] === 'loadMacro' && r.ok) { readStatus(); readReplaced(); }
      return readMacros();
    });
  }

  var renaming = null;
  function macroAct(act, name, button) {
    if (act === 'load') macroDo(['loadMacro', name]);
    else if (act === 'duplicate') macroDo(['duplicateMacro', name]);
    else if (act === 'export') {
      var path = $('macro-path').value.trim();
      if (!path) { macroSay('Type the path of the file to export to in the field below the list.', true); focusSafe($('macro-path')); return; }
      macroDo(['exportMacro', name, path], 'There is a file at ' + path + ' already. Replace it?');
    } else if (act === 'rename') {
      renaming = name;
      setText($('macro-rename-label'), 'New name for ' + name);
      $('macro-rename-name').value = name;
      setHidden($('macro-rename-form'), false);
      $('macro-rename-name').focus();
      $('macro-rename-name').select();
    } else if (act === 'delete') {
      setText($('macro-confirm-text'), 'Delete the macro "' + name + '"? Its file is removed from the library.');
      setText($('macro-confirm-yes'), 'Delete');
      askConfirm($('macro-confirm'), button, function () { macroDo(['deleteMacro', name]); });
    }
  }

  $('macro-save-form').addEventListener('submit', function (e) {
    e.preventDefault();
    var name = $('macro-save-name').value.trim();
    if (!name) { macroSay('Give the macro a name.', true); return; }
    macroDo(['saveMacro', name], 'A macro named "' + name + '" exists already. Replace it with the current recording?');
  });

  $('macro-rename-form').addEventListener('submit', function (e) {
    e.preventDefault();
    var to = $('macro-rename-name').value.trim();
    if (!renaming || !to) return;
    var from = renaming;
    renaming = null;
    setHidden($('macro-rename-form'), true);
    macroDo(['renameMacro', from, to]);
  });
  $('macro-rename-cancel').addEventListener('click', function () {
    renaming = null;
    setHidden($('macro-rename-form'), true);
  });

  $('macro-import-btn').addEventListener('click', function () {
    var path = $('macro-path').value.trim();
    if (!path) { macroSay('Type the path of the macro file to import.', true); focusSafe($('macro-path')); return; }
    macroDo(['importMacro', path]);
  });

  $('macro-folder-btn').addEventListener('click', function () {
    macroRun('openMacroFolder').then(function (r) {
      if (r && !r.ok) macroSay(String(r.message || ''), true);
    });
  });

  // A macro saved from the command line (the pipe's saveMacro), or a file put into the folder by
  // hand, shows when the user comes back to the window.
  window.addEventListener('focus', function () { if (!macroBusy) readMacros(); });

  // The library shows where the program offers its calls (the main window, and a panel window
  // whose main instance does the file work).
  setHidden($('macro-library'), !has('listMacros') || !has('getMacroJob'));

  // ---------------------------------------------------------------- window sizing
  var lastRequestedSize = '';

  function visiblePanel() {
    for (var i = 0; i < panels.length; i++) {
      if (panels[i].offsetParent !== null || panels[i].getClientRects().length) return panels[i];
    }
    return null;
  }

  function resizeHostWindow() {
    if (!has('resizeWindow')) return;
    var w, h;
    if (isPanelWindow) {
      var p = visiblePanel();
      if (!p) return;
      w = Math.round(window.innerWidth || 450);
      h = Math.ceil(p.getBoundingClientRect().height);
      if (h < 60) return;
    } else {
      // Grow a window still at its first-run size so more of the dashboard
      // shows; a size the user picked is left alone.
      var vw = window.innerWidth, vh = window.innerHeight;
      if (Math.abs(vw - 420) > 2 || Math.abs(vh - 560) > 2) return;
      var avail = (window.screen && window.screen.availHeight) || 800;
      var maxH = Math.min(760, avail - 80);
      var content = Math.ceil(document.documentElement.scrollHeight);
      w = Math.round(vw);
      h = Math.max(vh, Math.min(content, maxH));
      if (h - vh < 8) return;
      // Asked again each time until the window has grown: the program leaves
      // a minimized window alone, and the page asks once it is shown.
      call('resizeWindow', toInt(w), toInt(h));
      return;
    }
    var key = w + 'x' + h;
    if (key === lastRequestedSize) return;
    lastRequestedSize = key;
    call('resizeWindow', toInt(w), toInt(h));
  }

  // Lays the whole page out anew at the window's present size. WebKitGTK,
  // painting without compositing, keeps what it laid out while the window
  // was minimized: restored, the rows came out stretched until the window
  // was resized. Taking the page out of the layout drops all of it; the
  // focus and the scroll position are put back.
  function layOutAnew() {
    var root = document.documentElement;
    var focused = document.activeElement;
    var x = window.scrollX, y = window.scrollY;
    root.style.display = 'none';
    void root.offsetHeight;
    root.style.display = '';
    void root.offsetHeight;
    window.scrollTo(x, y);
    if (focused && focused !== document.body && focused !== document.activeElement &&
        typeof focused.focus === 'function') focused.focus({ preventScroll: true });
  }

  // The window shown again: restored from minimized (activated; on Windows
  // the page visible again, its viewport back from 0 x 0), or activated from
  // another window. Lay out at the size it has now, then fit it (the program
  // leaves a minimized window's size alone). After any other resize the page
  // is laid out once more when the size has stayed for a moment.
  var viewportWasEmpty = !window.innerWidth || !window.innerHeight, layOutTimer = 0;
  function whenShown() {
    if (document.visibilityState === 'hidden' || document.body.style.visibility !== 'visible') return;
    layOutAnew();
    requestAnimationFrame(function () { resizeHostWindow(); });
  }
  window.addEventListener('resize', function () {
    var empty = !window.innerWidth || !window.innerHeight;
    if (viewportWasEmpty && !empty) {
      whenShown();
      readAllSoon();
    } else if (!empty) {
      clearTimeout(layOutTimer);
      layOutTimer = setTimeout(layOutAnew, 150);
    }
    viewportWasEmpty = empty;
  });
  window.addEventListener('focus', whenShown);
  document.addEventListener('visibilitychange', whenShown);

  window.applyTheme = applyTheme;
  window.resizeHostWindow = resizeHostWindow;
  window.ravelinStatusChanged = readAllSoon;
  window.ravelinStatus = statusHanded;

  // ---------------------------------------------------------------- polling
  var pollTimer = 0, polling = false, pollAgain = false, told = false, quickReads = 0, handedAt = 0;
  var settingsReadAt = Date.now(), profilesReadAt = Date.now();

  function pollDelay() {
    var waiting = picking || (status && str(status.reassigning, '')) ||
      Object.keys(TOGGLES).some(function (k) { return !!TOGGLES[k].pending; });
    // Something just started or stopped: look again soon, so that what it does shows at once.
    if (waiting || quickReads > 0) return POLL_BUSY_MS;
    var s = status;
    if (s && (s.state !== 'Idle' || s.autoClicking === true || s.keySpamming === true)) {
      if (isPanelWindow) return POLL_PANEL_RUNNING_MS;
      return Date.now() - handedAt < POLL_HANDED_MS ? POLL_HANDED_MS : POLL_RUNNING_MS;
    }
    return POLL_IDLE_MS;
  }

  // Nothing of the page shows: it is hidden, or its viewport is 0 x 0 (on Windows, while the window
  // is minimized). Such a page reads nothing by itself and is handed nothing; it reads everything
  // as soon as it shows again.
  function unseen() {
    return document.visibilityState === 'hidden' || !window.innerWidth || !window.innerHeight;
  }
  // The program calls this (ravelinStatusChanged) when what it shows may have changed, and the page
  // when it shows again: the status and the settings are read now (a page that does not show reads
  // them when it shows again).
  function readAllSoon() {
    if (unseen()) return;
    told = true;
    pollSoon(0);
  }

  // The status, handed over by the program while something runs: shown as a read would show it,
  // and the page's own next read waits until the hand-overs stop.
  function statusHanded(s) {
    if (unseen() || !isObj(s)) return;
    handedAt = Date.now();
    applyStatus(s, ++statusSeq);
    if (!polling && pollTimer) {
      clearTimeout(pollTimer);
      pollTimer = setTimeout(pollOnce, pollDelay());
    }
  }

  function pollSoon(delay) {
    if (!(has('getTrackerStatus') || has('getSettings') || has('getProfiles'))) return;
    if (polling) { pollAgain = true; return; }
    clearTimeout(pollTimer);
    pollTimer = setTimeout(pollOnce, delay || 0);
  }

  function pollOnce() {
    pollTimer = 0;
    if (polling || unseen()) return;
    polling = true;
    var now = Date.now();
    var work = [readStatus()];
    if (told || picking || now - settingsReadAt >= SETTINGS_SAFETY_MS) {
      settingsReadAt = now;
      work.push(readSettings());
      // Kept outside the settings; a panel may have changed them.
      if (told) work.push(readRepeat(), readClickDelay());
    }
    if (told) quickReads = 2;
    else if (quickReads > 0) quickReads--;
    told = false;
    if (now - profilesReadAt >= PROFILES_SAFETY_MS) {
      profilesReadAt = now;
      work.push(readProfiles());
    }
    if (picking && Date.now() > picking.until) { picking = null; renderPick(); }
    Promise.all(work).then(afterPoll, afterPoll);
  }

  function afterPoll() {
    polling = false;
    if (unseen()) { pollAgain = false; return; }
    clearTimeout(pollTimer);
    pollTimer = setTimeout(pollOnce, pollAgain ? 0 : pollDelay());
    pollAgain = false;
  }

  document.addEventListener('visibilitychange', function () {
    if (document.visibilityState === 'hidden') { clearTimeout(pollTimer); pollTimer = 0; }
    else readAllSoon();
  });
  window.addEventListener('focus', function () {
    if (document.visibilityState !== 'hidden') pollSoon(0);
  });

  // ---------------------------------------------------------------- start-up
  renderSettings();
  renderPrefs();
  renderStatus();
  renderPick();

  if (isPanelWindow) {
    // The panel script appended by the host picks the panel and the theme,
    // shows the body and sizes the window. Keep the window fitted when the
    // panel's own height changes later (hints appearing).
    if (typeof ResizeObserver === 'function') {
      var ro = new ResizeObserver(function () {
        if (document.body.style.visibility === 'visible') resizeHostWindow();
      });
      panels.forEach(function (p) { ro.observe(p); });
    }
    setTimeout(function () {
      if (document.body.style.visibility !== 'visible') document.body.style.visibility = 'visible';
    }, 2000);
    // The panel's host answers getSettings and getTrackerStatus from the main instance.
    Promise.all([readSettings(), readStatus(), readRepeat(), readClickDelay()]).then(function () { pollSoon(POLL_MS); });
    readMacros();
  } else {
    var stored = loadStoredTheme();
    applyTheme(stored || DEFAULT_THEME);
    // The program keeps the chosen theme between runs (and opens panels in it).
    var readTheme = has('getTheme')
      ? call('getTheme').then(function (t) { if (typeof t === 'string' && t) applyTheme(t); })
      : Promise.resolve();
    if (has('getVersion')) {
      call('getVersion').then(function (v) {
        if (typeof v !== 'string' || !v) return;
        var line = document.getElementById('version-line');
        line.textContent = 'Version ' + v;
        line.hidden = false;
      }, function () {});
    }
    var revealed = false;
    var reveal = function () {
      if (revealed) return;
      revealed = true;
      document.body.style.visibility = 'visible';
      requestAnimationFrame(function () { resizeHostWindow(); });
      pollSoon(POLL_MS);
    };
    Promise.all([readTheme, readPrefs(), readSettings(), readProfiles(), readStatus(), readRepeat(), readClickDelay()]).then(reveal, reveal);
    readMacros();
    // Never keep the window blank waiting for a slow answer.
    setTimeout(reveal, 400);
  }
})();
