(function () {
  'use strict';

  // ---------------------------------------------------------------------------
  // Contents: constants · native calls · theme · DOM write helpers · settings ·
  // status and toggles · pick · reassignment · profiles · preferences ·
  // panels and pop-out · window sizing · polling · start-up.
  // Only applyTheme, resizeHostWindow, ravelinStatusChanged, ravelinStatus and ravelinUnseen are global: a panel
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
  var PREF_KEYS = settingNames('preference');
  var REASSIGN_HINTS = {
    rec: 'Press a key or a right, middle or side mouse button for Record, with Ctrl, Shift, Alt or Win held if you like… (Esc cancels)',
    play: 'Press a key or a right, middle or side mouse button for Play, with Ctrl, Shift, Alt or Win held if you like… (Esc cancels)',
    auto: 'Press a key or a right, middle or side mouse button for the auto clicker, with Ctrl, Shift, Alt or Win held if you like… (Esc cancels)',
    keyspamhotkey: 'Press a key or a right, middle or side mouse button for the key spammer, with Ctrl, Shift, Alt or Win held if you like… (Esc cancels)',
    keyspamtarget: 'Press the key to spam… (Esc cancels)',
    keyspamaddkey: 'Press the key to add to the list… (Esc cancels)',
    stopall: 'Press a key or a right, middle or side mouse button that stops everything… (Esc cancels)',
    profile1: 'Press a key or a right, middle or side mouse button for profile 1… (Esc cancels)',
    profile2: 'Press a key or a right, middle or side mouse button for profile 2… (Esc cancels)',
    profile3: 'Press a key or a right, middle or side mouse button for profile 3… (Esc cancels)'
  };
  var HOLDER_NAMES = {
    rec: 'the Record macro hotkey', play: 'the Play macro hotkey', auto: 'the Auto clicker hotkey',
    keyspamhotkey: 'the Key spammer hotkey', keyspamtarget: 'the key to spam', stopall: 'the Stop everything hotkey',
    keyspamaddkey: 'in the list of keys',
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
      else if (typeof v === 'string' && typeof DEFAULT_SETTINGS[k] === 'string') settings[k] = v;
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
      case 'locMode': return v === 1 || v === 2 ? String(v) : '0';
      case 'stype': return v === 1 ? '1' : '0';
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
    renderMoreKeys(status ? str(status.reassigning, '') === 'keyspamaddkey' : false);
    numInputs.forEach(function (input) { showValue(input, settings[input.getAttribute('data-key')]); });
    radios.forEach(function (r) {
      var key = r.getAttribute('data-key');
      setChecked(r, radioValue(key, settings[key]) === r.value);
    });
    setFlag($('c-count'), 'dim', settings.rptMode !== 0);
    setFlag($('k-count'), 'dim', settings.ksRptMode !== 0);
    setFlag($('fixed-row'), 'dim', settings.locMode !== 1 && !picking);
    setText($('fixed-xy'), 'X ' + settings.fixedX + ', Y ' + settings.fixedY);
    setHidden($('fixed-row'), settings.locMode === 2 && !picking);
    setText($('c-count-unit'), settings.locMode === 2 ? 'rounds' : 'clicks');
    renderSequence();
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

  // Each toggle's button, its label and hotkey elements (ID-toggle, -label, -key), and what it says.
  function toggleOf(id, t) {
    t.btn = $(id + '-toggle'); t.label = $(id + '-toggle-label'); t.key = $(id + '-toggle-key'); t.pending = null;
    return t;
  }
  var TOGGLES = {
    clicker: toggleOf('clicker', { fn: 'toggleSpammer', flag: 'autoClicking', hk: 'hkAuto', start: 'Start clicking', stop: 'Stop clicking' }),
    keyspam: toggleOf('keyspam', { fn: 'toggleKeySpam', flag: 'keySpamming', hk: 'hkKeySpam', start: 'Start key spam', stop: 'Stop key spam' }),
    record: toggleOf('record', { fn: 'toggleRecord', state: 'Recording', hk: 'hkRec', start: 'Record', stop: 'Stop recording' }),
    play: toggleOf('play', { fn: 'togglePlay', state: 'Playing', hk: 'hkPlay', start: 'Play', stop: 'Stop playback' })
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
      var range = SETTING.clickStartDelay;
      if (typeof n === 'number' && n >= range.min && n <= range.max) clickDelay = n;
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
      // How the clicking, typing and replay threads are scheduled, as the system allowed.
      // What the user just tried that cannot work on this desktop, said by the program for a while.
      var notice = str(s.sessionNotice, '');
      setHidden($('session-notice'), !notice);
      setText($('session-notice'), notice);
      var session = str(s.session, '');
      setHidden($('session-line'), !session);
      setText($('session-line'), session);
      var scheduling = str(s.scheduling, '');
      setHidden($('scheduling-line'), !scheduling);
      setText($('scheduling-line'), 'Timing threads: ' + scheduling);
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
    edNoticeChange(s);
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
    if (typeof s.pickingSequence === 'boolean' && s.pickingSequence !== seqPicking &&
        Date.now() - seqPickToldAt > SEQ_PICK_SETTLE_MS) {
      seqPicking = s.pickingSequence;
      renderSequencePick();
    }
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

  // ---------------------------------------------------------------- click sequence
  // The sequence is the setting clickSequence: points joined by '/', each X:Y:BUTTON:DOUBLE:WAIT. The
  // editor changes a copy of the points and sends the whole text back with changeSettings.
  var SEQ_MAX = SETTING.clickSequence ? SETTING.clickSequence.max : 32;
  var SEQ_XY_MAX = 1000000, SEQ_WAIT_MAX = 86400000;
  // A panel's change goes over the pipe, whose messages are at most this long.
  var PIPE_MESSAGE_MAX = 511;
  var seqPicking = false;
  var seqPickToldAt = 0;   // a status read before the page's own change is not believed
  var SEQ_PICK_SETTLE_MS = 600;
  var seqRows = [];
  var SEQ_NOTE = $('seq-note').textContent;

  function parseSequence(text) {
    if (typeof text !== 'string' || text === '') return [];
    return text.split('/').map(function (p) {
      var f = p.split(':').map(Number);
      return { x: f[0] | 0, y: f[1] | 0, button: f[2] | 0, double: f[3] === 1, wait: f[4] | 0 };
    });
  }

  function formatSequence(points) {
    return points.map(function (p) {
      return [p.x, p.y, p.button, p.double ? 1 : 0, p.wait].join(':');
    }).join('/');
  }

  function sequencePoints() { return parseSequence(settings.clickSequence); }

  function sendSequence(points) {
    var text = formatSequence(points);
    if (isPanelWindow && ('changeSettings|clickSequence=' + text).length > PIPE_MESSAGE_MAX) {
      var note = $('seq-note');
      setText(note, 'This sequence is too long to change from a panel: change it in the main window.');
      setFlag(note, 'warn', true);
      renderSequence();
      return Promise.resolve();
    }
    setText($('seq-note'), SEQ_NOTE);
    setFlag($('seq-note'), 'warn', false);
    settings.clickSequence = text;
    settingsEpoch++;
    renderSequence();
    return call('changeSettings', 'clickSequence=' + text).then(readSettings);
  }

  function seqButton(label, text, onClick) {
    var b = document.createElement('button');
    b.type = 'button';
    b.className = 'btn sm';
    b.textContent = text;
    b.setAttribute('aria-label', label);
    b.addEventListener('click', onClick);
    return b;
  }

  var seqFieldIds = 0;
  function seqNumber(label, min, max) {
    var input = document.createElement('input');
    input.id = 'seq-field-' + (++seqFieldIds);
    input.className = 'num';
    input.inputMode = 'numeric';
    input.autocomplete = 'off';
    input.spellcheck = false;
    input.setAttribute('aria-label', label);
    input.setAttribute('data-min', min);
    input.setAttribute('data-max', max);
    return input;
  }

  function seqSelect(label, options) {
    var select = document.createElement('select');
    select.setAttribute('aria-label', label);
    options.forEach(function (text, i) {
      var o = document.createElement('option');
      o.value = String(i);
      o.textContent = text;
      select.appendChild(o);
    });
    return select;
  }

  // Each row edits the point at its place; the place is read when the change is made, so rows stay
  // right after a move or a deletion.
  function changePoint(index, change) {
    var points = sequencePoints();
    if (index < 0 || index >= points.length) return;
    change(points);
    sendSequence(points);
  }

  function seqRow() {
    var li = document.createElement('li');
    var row = { li: li };
    var at = function () { return seqRows.indexOf(row); };
    row.n = document.createElement('span');
    row.n.className = 'seq-n';
    row.x = seqNumber('X', -SEQ_XY_MAX, SEQ_XY_MAX);
    row.y = seqNumber('Y', -SEQ_XY_MAX, SEQ_XY_MAX);
    row.wait = seqNumber('Wait after, milliseconds', 0, SEQ_WAIT_MAX);
    row.wait.classList.add('wide');
    row.button = seqSelect('Button', ['Left', 'Right', 'Middle']);
    row.double = seqSelect('Click', ['Single', 'Double']);
    var moves = document.createElement('span');
    moves.className = 'seq-moves';
    row.up = seqButton('Move up', '↑', function () {
      changePoint(at(), function (p) { var i = at(); if (i > 0) p.splice(i - 1, 0, p.splice(i, 1)[0]); });
    });
    row.down = seqButton('Move down', '↓', function () {
      changePoint(at(), function (p) { var i = at(); if (i < p.length - 1) p.splice(i + 1, 0, p.splice(i, 1)[0]); });
    });
    row.remove = seqButton('Delete', '✕', function () {
      changePoint(at(), function (p) { p.splice(at(), 1); });
    });
    moves.appendChild(row.up);
    moves.appendChild(row.down);
    moves.appendChild(row.remove);
    [[row.x, 'x'], [row.y, 'y'], [row.wait, 'wait']].forEach(function (pair) {
      var input = pair[0], key = pair[1];
      var commit = function () {
        var points = sequencePoints(), i = at();
        if (i < 0 || i >= points.length) return;
        var v = parseField(input);
        if (v === null) {
          if (input.value !== String(points[i][key])) markInvalid(input);
          input.__shown = String(points[i][key]);
          input.value = input.__shown;
          return;
        }
        clearFieldMessage(input);
        if (v === points[i][key]) return;
        points[i][key] = v;
        sendSequence(points);
      };
      input.addEventListener('change', commit);
      input.addEventListener('keydown', function (e) { if (e.key === 'Enter') commit(); });
    });
    row.button.addEventListener('change', function () {
      var v = Number(row.button.value);
      changePoint(at(), function (p) { p[at()].button = v; });
    });
    row.double.addEventListener('change', function () {
      var v = row.double.value === '1';
      changePoint(at(), function (p) { p[at()].double = v; });
    });
    var unit = function (text, input) {
      var l = document.createElement('label');
      l.className = 'unit';
      var t = document.createElement('span');
      t.textContent = text;
      t.setAttribute('aria-hidden', 'true');
      l.appendChild(t);
      l.appendChild(input);
      return l;
    };
    li.appendChild(row.n);
    li.appendChild(unit('X', row.x));
    li.appendChild(unit('Y', row.y));
    li.appendChild(moves);
    var line = document.createElement('div');
    line.className = 'seq-line';
    line.appendChild(row.button);
    line.appendChild(row.double);
    var wait = unit('then', row.wait);
    var ms = document.createElement('span');
    ms.textContent = 'ms';
    ms.setAttribute('aria-hidden', 'true');
    wait.appendChild(ms);
    line.appendChild(wait);
    li.appendChild(line);
    return row;
  }

  // Rows are made or dropped only when the number of points changes; a field being typed into keeps
  // what is typed until it is committed.
  function renderSequence() {
    if (!seqRows) return;  // before this part of the page has started
    var box = $('seq-box');
    var shown = settings.locMode === 2;
    setHidden(box, !shown);
    if (!shown) return;
    var points = sequencePoints();
    var list = $('seq-list');
    while (seqRows.length < points.length) { var r = seqRow(); seqRows.push(r); list.appendChild(r.li); }
    while (seqRows.length > points.length) list.removeChild(seqRows.pop().li);
    points.forEach(function (p, i) {
      var row = seqRows[i], n = i + 1;
      setText(row.n, n + '.');
      showValue(row.x, p.x);
      showValue(row.y, p.y);
      showValue(row.wait, p.wait);
      if (row.button.value !== String(p.button)) row.button.value = String(p.button);
      if (row.double.value !== (p.double ? '1' : '0')) row.double.value = p.double ? '1' : '0';
      setDisabled(row.up, i === 0);
      setDisabled(row.down, i === points.length - 1);
      [row.x, row.y, row.wait, row.button, row.double, row.up, row.down, row.remove].forEach(function (el) {
        var label = el.getAttribute('aria-label').replace(/^Point \d+: /, '');
        setAttr(el, 'aria-label', 'Point ' + n + ': ' + label);
      });
    });
    setHidden($('seq-empty'), points.length > 0);
    setText($('seq-count'), points.length + ' of ' + SEQ_MAX);
    setDisabled($('seq-clear-btn'), points.length === 0);
    renderSequencePick();
  }

  function renderSequencePick() {
    var full = sequencePoints().length >= SEQ_MAX;
    setText($('seq-pick-btn'), seqPicking ? 'Done' : 'Add on screen');
    setFlag($('seq-pick-btn'), 'waiting', seqPicking);
    setDisabled($('seq-pick-btn'), !has('pickSequence') || (full && !seqPicking));
    setHidden($('seq-pick-hint'), !seqPicking);
  }

  $('seq-pick-btn').addEventListener('click', function () {
    if (!has('pickSequence')) return;
    seqPicking = !seqPicking;
    seqPickToldAt = Date.now();
    renderSequencePick();
    call('pickSequence', seqPicking ? 1 : 0).then(function () { pollSoon(0); });
  });

  $('seq-clear-btn').addEventListener('click', function () { sendSequence([]); });

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
    renderMoreKeys(waiting === 'keyspamaddkey');
    var hint = $('hk-hint');
    setHidden(hint, !waiting);
    if (waiting) setText(hint, REASSIGN_HINTS[waiting]);
    var tHint = $('target-hint');
    setHidden(tHint, !tOn);
  }

  // The keys pressed in turn after the first: a chip each, with a button that takes it out of the list.
  var moreKeysShown = null;
  function renderMoreKeys(waiting) {
    var box = $('more-keys');
    var codes = String(settings.keySpamKeys || '').split('.').filter(function (c) { return c !== ''; });
    var names = status && Array.isArray(status.keySpamKeys) ? status.keySpamKeys : codes;
    var shown = JSON.stringify([codes, names, waiting]);
    var full = codes.length >= 7;
    var add = $('more-key-btn');
    add.disabled = full && !waiting;
    if (shown === moreKeysShown) return;
    moreKeysShown = shown;
    while (box.firstChild) box.removeChild(box.firstChild);
    codes.forEach(function (code, i) {
      var chip = document.createElement('span');
      chip.className = 'keycap';
      chip.textContent = str(names[i], code);
      var remove = document.createElement('button');
      remove.type = 'button';
      remove.className = 'btn sm icon';
      remove.textContent = '×';
      remove.setAttribute('aria-label', 'Take ' + chip.textContent + ' out of the list');
      remove.addEventListener('click', function () {
        var rest = codes.slice(0, i).concat(codes.slice(i + 1)).join('.');
        settings.keySpamKeys = rest;
        settingsEpoch++;
        moreKeysShown = null;
        renderReassign();
        call('changeSettings', 'keySpamKeys=' + rest).then(readSettings);
      });
      box.appendChild(chip);
      box.appendChild(remove);
    });
    if (waiting) {
      var next = document.createElement('span');
      next.className = 'keycap waiting';
      next.textContent = 'Press a key…';
      box.appendChild(next);
    }
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

  // Where the program hears no key outside its window (Wayland), the key to spam is taken from the
  // page while it is being chosen; elsewhere the program has heard it already and ignores this.
  document.addEventListener('keydown', function (e) {
    var waiting = status ? str(status.reassigning, '') : '';
    if ((waiting !== 'keyspamtarget' && waiting !== 'keyspamaddkey') || !has('keyPressedInPage')) return;
    if (e.repeat || !e.keyCode) return;
    e.preventDefault();
    call('keyPressedInPage', e.keyCode).then(function () { pollSoon(0); });
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

  // What keeps a name from the profile at `except` (-1: a new one), in the words of its form; '' for
  // nothing. Profiles are told apart by name: the same name in other letter case counts as taken.
  function nameProblem(name, except, empty, taken) {
    if (!name) return empty;
    if (NAME_FORBIDDEN.test(name)) return 'Profile names cannot contain " \\ [ or ].';
    var key = name.toLowerCase();
    var isTaken = profileNames().some(function (other, i) { return i !== except && String(other).trim().toLowerCase() === key; });
    return isTaken ? taken : '';
  }

  $('rename-form').addEventListener('submit', function (e) {
    e.preventDefault();
    var input = $('rename-name');
    var name = input.value.trim();
    var problem = nameProblem(name, renaming, 'Enter a name for the profile.',
      'Another profile is named "' + name + '". Choose another name.');
    if (problem) { showRenameMessage(problem); input.focus(); return; }
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
    var problem = nameProblem(name, -1, 'Enter a name for the new profile.',
      'A profile named "' + name + '" exists already. Choose another name.');
    if (problem) { showAddMessage(problem, true); input.focus(); return; }
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
  var prefs = {};
  PREF_KEYS.forEach(function (k) { prefs[k] = SETTING[k].byDefault; });
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
            else if (r.done) { r.job = job; resolve(r); }
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

  // The list's button that has the keyboard focus, as the macro's name and the button's word.
  var macroFocus = null;
  function focusedMacroButton() {
    var active = document.activeElement;
    var li = active && active.closest && $('macro-list').contains(active) ? active.closest('li') : null;
    return li ? { name: li.getAttribute('data-macro'), act: active.getAttribute('data-macro-act') } : null;
  }

  function renderMacroBusy() {
    if (macroBusy) macroFocus = focusedMacroButton() || macroFocus;
    all('#macro-library button').forEach(function (b) {
      if (!b.hasAttribute('data-confirm-no') && !b.hasAttribute('data-confirm-yes')) b.disabled = macroBusy;
    });
    var active = document.activeElement;
    if (!macroBusy && macroFocus && (!active || active === document.body)) {
      var back = null;
      all('#macro-list li').forEach(function (li) {
        if (li.getAttribute('data-macro') === macroFocus.name) back = li.querySelector('[data-macro-act="' + macroFocus.act + '"]');
      });
      if (back && !back.disabled) { back.focus(); macroFocus = null; }
    }
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
    // The list is made anew each time it is read: a button of it that had the keyboard focus gets
    // it back in the new list (the same button of the same macro), so the keyboard stays in place;
    // also when the focus went while the operation ran (its buttons were disabled meanwhile).
    var active = document.activeElement;
    var kept = focusedMacroButton() || (!active || active === document.body ? macroFocus : null);
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
        if (kept && kept.name === name && kept.act === a[0]) kept.button = b;
      });
      ul.appendChild(li);
    });
    // A button made while an operation runs is disabled: it gets the focus once that is over.
    macroFocus = kept && kept.button && kept.button.disabled ? { name: kept.name, act: kept.act } : null;
    if (kept && kept.button && !kept.button.disabled) kept.button.focus();
  }

  // A panel window's answers come from the main window a reply at a time: a long list comes in
  // parts, each saying where it starts ("from") and how many macros are still to come ("more").
  function restOfMacros(job, list, r) {
    if (!(Number(r.more) > 0) || !r.macros.length) return Promise.resolve(list);
    var from = (Number(r.from) || 0) + r.macros.length;
    return call('getMacroJob', job, 'macros', from).then(function (next) {
      if (!isObj(next) || !next.ok || !Array.isArray(next.macros) || Number(next.from) !== from) return list;
      return restOfMacros(job, list.concat(next.macros), next);
    });
  }

  function readMacros() {
    if (!has('listMacros')) return Promise.resolve();
    return macroJob('listMacros').then(function (r) {
      if (!r || !r.ok || !Array.isArray(r.macros)) return;
      return restOfMacros(r.job, r.macros, r).then(renderMacros);
    });
  }

  // The system's own file dialog, where the program offers one: resolves with the chosen path, ''
  // when the user cancelled, or null when no dialog can be shown here (the typed path is used then).
  var macroDialogs = has('chooseMacroFile') && has('getMacroFileChoice');
  function chooseMacroFile(kind, name) {
    var asked = kind === 'save' ? call('chooseMacroFile', 'save', name) : call('chooseMacroFile', 'open');
    return asked.then(function (n) {
      if (typeof n !== 'number' || n <= 0) return null;
      return new Promise(function (resolve) {
        (function ask() {
          call('getMacroFileChoice', n).then(function (r) {
            if (!isObj(r)) resolve(null);
            else if (!r.done) setTimeout(ask, MACRO_POLL_MS);
            else resolve(r.unavailable ? null : String(r.path || ''));
          });
        })();
      });
    });
  }

  function showMacroPath() {
    setHidden($('macro-path'), macroDialogs);
    setText($('macro-import-btn'), macroDialogs ? 'Import…' : 'Import');
  }
  showMacroPath();

  // Opens the dialog and hands the chosen path to `chosen`; a cancelled dialog does nothing, and
  // without a dialog `typed` goes by the typed path. The dialog holds the window it belongs to, so
  // the buttons stay as they are (and the keyboard where it was); a second ask meanwhile is dropped.
  var macroChoosing = false;
  function byDialog(kind, name, chosen, typed) {
    if (!macroDialogs) { typed(); return; }
    if (macroBusy || macroChoosing) return;
    macroChoosing = true;
    chooseMacroFile(kind, name).then(function (path) {
      macroChoosing = false;
      if (path === null) {
        macroDialogs = false;
        showMacroPath();
        typed();
      } else if (path) {
        chosen(path);
      }
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
      // The dialog asked before it chose a file that is there already.
      byDialog('save', name, function (path) { macroDo(['exportMacro', name, path, true]); }, function () {
        var path = $('macro-path').value.trim();
        if (!path) { macroSay('Type the path of the file to export to in the field below the list.', true); focusSafe($('macro-path')); return; }
        macroDo(['exportMacro', name, path], 'There is a file at ' + path + ' already. Replace it?');
      });
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
    byDialog('open', '', function (path) { macroDo(['importMacro', path]); }, function () {
      var path = $('macro-path').value.trim();
      if (!path) { macroSay('Type the path of the macro file to import.', true); focusSafe($('macro-path')); return; }
      macroDo(['importMacro', path]);
    });
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
  window.ravelinUnseen = unseenTold;

  // ---------------------------------------------------------------- polling
  var pollTimer = 0, polling = false, pollAgain = false, told = false, quickReads = 0, handedAt = 0;
  // The program said that nothing of the page shows (its window is covered by others, which the
  // browser does not tell the page): while something runs it then reads only as a safety net. The
  // next hand-over, focus or showing again ends that.
  var toldUnseen = false;
  var settingsReadAt = Date.now(), profilesReadAt = Date.now();

  function pollDelay() {
    var waiting = picking || seqPicking || (status && str(status.reassigning, '')) ||
      Object.keys(TOGGLES).some(function (k) { return !!TOGGLES[k].pending; });
    // Something just started or stopped: look again soon, so that what it does shows at once.
    if (waiting || quickReads > 0) return POLL_BUSY_MS;
    var s = status;
    if (s && (s.state !== 'Idle' || s.autoClicking === true || s.keySpamming === true)) {
      if (isPanelWindow) return POLL_PANEL_RUNNING_MS;
      if (toldUnseen) return POLL_IDLE_MS;
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
    toldUnseen = false;
    handedAt = Date.now();
    applyStatus(s, ++statusSeq);
    if (!polling && pollTimer) {
      clearTimeout(pollTimer);
      pollTimer = setTimeout(pollOnce, pollDelay());
    }
  }

  function unseenTold() {
    toldUnseen = true;
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
    if (told || picking || seqPicking || now - settingsReadAt >= SETTINGS_SAFETY_MS) {
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
    else { toldUnseen = false; readAllSoon(); }
  });
  window.addEventListener('focus', function () {
    if (document.visibilityState !== 'hidden') { toldUnseen = false; pollSoon(0); }
  });

  // ---------------------------------------------------------------- step editor
  // The current recording, fetched as macro text (readRecording), held here as columns of typed
  // arrays so that a million steps cost tens of megabytes, edited with undo, and sent back whole as
  // macro text (saveRecording), which the program reads by the same rules as a macro file: the
  // recording is replaced whole (and can be brought back once) or not at all. Only the rows in view
  // exist in the document.
  var ED_ROW_PX = 22;
  var ED_MAX_PX = 16000000;          // taller lists scroll by proportion (browsers cap an element's height)
  var ED_UNDO_STEPS = 4000000;       // steps kept by the undo and redo records together
  var ED_MAX_WAIT_US = 86400000000;  // a longer wait is written as `wait` lines before its step
  var ED_PART_CHARS = 2097152;       // an edited recording is sent in parts of about this many characters
  var ED_WORDS = ['move', 'move-by', 'press', 'release', 'wheel', 'key-down', 'key-up', 'event'];
  var K_MOVE = 0, K_MOVE_BY = 1, K_PRESS = 2, K_RELEASE = 3, K_WHEEL = 4, K_KEY_DOWN = 5, K_KEY_UP = 6, K_EVENT = 7;
  var ED_BUTTONS = ['left', 'right', 'middle', 'side1', 'side2'];

  // Columns: kind; wait before the step in microseconds; x and y (a move's, a button's point; a
  // relative move's motion; a wheel's turn in x); z (a button's index, a key's code, an `event`
  // step's index in ed.raw).
  function Steps(n) {
    this.n = n;
    this.kind = new Uint8Array(n);
    this.wait = new Float64Array(n);
    this.x = new Int32Array(n);
    this.y = new Int32Array(n);
    this.z = new Int32Array(n);
  }
  function stepsSlice(s, a, b) {
    var p = new Steps(b - a);
    p.kind.set(s.kind.subarray(a, b)); p.wait.set(s.wait.subarray(a, b));
    p.x.set(s.x.subarray(a, b)); p.y.set(s.y.subarray(a, b)); p.z.set(s.z.subarray(a, b));
    return p;
  }
  function stepsCut(s, n) { return n === s.n ? s : stepsSlice(s, 0, n); }
  function copyStep(from, i, to, j) {
    to.kind[j] = from.kind[i]; to.wait[j] = from.wait[i];
    to.x[j] = from.x[i]; to.y[j] = from.y[i]; to.z[j] = from.z[i];
  }

  var ed = {
    s: new Steps(0), raw: [], keys: [], keyCodes: {}, header: { screen: '', name: '', note: '' },
    sel: new Uint8Array(0), selCount: 0, anchor: -1, cursor: -1,
    undo: [], redo: [], state: 0, saved: 0, lastId: 0,
    busy: false, closeAsked: false, rows: [], editing: null,
    // What the shown recording was when read or saved (its steps and the profile), to tell when
    // another has taken its place; stale once told.
    base: null, stale: false,
  };

  // ---- reading and writing macro text
  function isDigit(c) { return c >= 48 && c <= 57; }
  // Milliseconds with up to three decimals, as microseconds; -1 when the token is not that.
  function readMs(t, a, b) {
    var us = 0, i = a, dec = -1;
    if (a >= b) return -1;
    for (; i < b; i++) {
      var c = t.charCodeAt(i);
      if (c === 46 && dec < 0) { dec = 0; continue; }
      if (!isDigit(c) || dec >= 3) return -1;
      if (dec >= 0) dec++;
      us = us * 10 + (c - 48);
    }
    if (dec === 0) return -1;
    for (var k = dec < 0 ? 0 : dec; k < 3; k++) us *= 10;
    return us;
  }
  // A whole number, optionally negative; NaN when the token is not one or leaves 32 bits.
  function readInt(t, a, b) {
    var neg = a < b && t.charCodeAt(a) === 45, v = 0, i = neg ? a + 1 : a;
    if (i >= b || b - i > 10) return NaN;
    for (; i < b; i++) {
      var c = t.charCodeAt(i);
      if (!isDigit(c)) return NaN;
      v = v * 10 + (c - 48);
    }
    v = neg ? -v : v;
    return v < -2147483648 || v > 2147483647 ? NaN : v;
  }

  var tok = new Int32Array(20);  // token starts and ends of the line being read
  var line = { wait: 0, kind: 0, x: 0, y: 0, z: 0, raw: '', error: '' };
  // Reads one line of macro text, t[a, b): 1 a step (into `line`), 2 a `wait` line (line.wait),
  // 0 nothing to keep (header, comment, blank), -1 a mistake (line.error).
  function readLine(t, a, b) {
    var n = 0, i = a;
    while (i < b && n < 20) {
      var c = t.charCodeAt(i);
      if (c === 32 || c === 9 || c === 13) { i++; continue; }
      if (c === 35 && n === 0) break;
      tok[n] = i;
      while (i < b && (c = t.charCodeAt(i)) !== 32 && c !== 9 && c !== 13) i++;
      tok[n + 1] = i;
      n += 2;
    }
    if (n === 0) return 0;
    var first = t.charCodeAt(tok[0]);
    if (!isDigit(first)) {
      var head = t.slice(tok[0], tok[1]);
      if (head === 'wait' && n === 4) {
        line.wait = readMs(t, tok[2], tok[3]);
        if (line.wait < 0) { line.error = 'the wait is not milliseconds'; return -1; }
        return 2;
      }
      if (head === 'screen' || head === 'name' || head === 'note') {
        ed.header[head] = t.slice(tok[1] + 1, b).replace(/\r$/, '');
        return 0;
      }
      if (head === 'Ravelin') return 0;
      line.error = 'a step starts with its wait in milliseconds';
      return -1;
    }
    line.wait = readMs(t, tok[0], tok[1]);
    if (line.wait < 0) { line.error = 'the wait is not milliseconds (digits, at most three after the point)'; return -1; }
    if (line.wait > ED_MAX_WAIT_US) { line.error = 'a wait is at most 24 hours'; return -1; }
    if (n < 4) { line.error = 'a wait without a step after it'; return -1; }
    return readStep(t, n);
  }
  // The step word of token 1, told apart by its length and letters without making a string.
  function stepWord(t) {
    var a = tok[2], len = tok[3] - a, c = t.charCodeAt(a);
    if (c === 109 && len === 4 && t.startsWith('move', a)) return K_MOVE;
    if (c === 109 && len === 7 && t.startsWith('move-by', a)) return K_MOVE_BY;
    if (c === 112 && len === 5 && t.startsWith('press', a)) return K_PRESS;
    if (c === 114 && len === 7 && t.startsWith('release', a)) return K_RELEASE;
    if (c === 119 && len === 5 && t.startsWith('wheel', a)) return K_WHEEL;
    if (c === 107 && len === 8 && t.startsWith('key-down', a)) return K_KEY_DOWN;
    if (c === 107 && len === 6 && t.startsWith('key-up', a)) return K_KEY_UP;
    if (c === 101 && len === 5 && t.startsWith('event', a)) return K_EVENT;
    return -1;
  }
  // Token k's whole number (see readInt).
  function tokInt(t, k) { return readInt(t, tok[2 * k], tok[2 * k + 1]); }
  function tokIs(t, k, word) { return tok[2 * k + 1] - tok[2 * k] === word.length && t.startsWith(word, tok[2 * k]); }
  // The words after the wait (tokens 1 on).
  function readStep(t, n) {
    var args = n / 2 - 2, kind = stepWord(t), word = ED_WORDS[kind];
    line.x = 0; line.y = 0; line.z = 0; line.raw = '';
    line.kind = kind;
    if (kind === K_MOVE || kind === K_MOVE_BY) {
      if (args !== 2) { line.error = '"' + word + '" needs X and Y after it'; return -1; }
      line.x = tokInt(t, 2); line.y = tokInt(t, 3);
    } else if (kind === K_PRESS || kind === K_RELEASE) {
      if (args !== 3) { line.error = '"' + word + '" needs a button, X and Y after it'; return -1; }
      line.z = tokIs(t, 2, 'left') ? 0 : ED_BUTTONS.indexOf(t.slice(tok[4], tok[5]));
      if (line.z < 0) { line.error = 'the button is one of left, right, middle, side1, side2'; return -1; }
      line.x = tokInt(t, 3); line.y = tokInt(t, 4);
    } else if (kind === K_WHEEL) {
      if (args !== 1) { line.error = '"wheel" needs the turn after it'; return -1; }
      line.x = tokInt(t, 2);
      if (line.x < -32768 || line.x > 32767) { line.error = 'the wheel turn is from -32768 to 32767'; return -1; }
    } else if (kind === K_KEY_DOWN || kind === K_KEY_UP) {
      if (args !== 1 && args !== 2) { line.error = '"' + word + '" needs a key name (and its code) after it'; return -1; }
      var code = args === 2 ? tokInt(t, 3) : ed.keyCodes[t.slice(tok[4], tok[5]).toLowerCase()];
      if (code === undefined || !(code >= 0 && code <= 255)) { line.error = 'not a key name; give its code after it'; return -1; }
      line.z = code;
    } else if (kind === K_EVENT) {
      if (args !== 7) { line.error = '"event" needs its seven fields'; return -1; }
      for (var k = 2; k <= 8; k++) {
        if (isNaN(tokInt(t, k)) && !(k === 5 && /^\d{1,10}$/.test(t.slice(tok[2 * k], tok[2 * k + 1])))) { line.error = 'the fields of "event" are whole numbers'; return -1; }
      }
      line.raw = t.slice(tok[4], tok[17]).replace(/[ \t]+/g, ' ');
    } else {
      line.error = 'unknown step "' + t.slice(tok[2], tok[3]).slice(0, 20) + '" (' + ED_WORDS.join(', ') + ')';
      return -1;
    }
    if (isNaN(line.x) || isNaN(line.y)) { line.error = 'X and Y are whole numbers'; return -1; }
    return 1;
  }

  // The program's text of the recording (LF line ends), read into columns part by part: `reader`
  // holds the columns (room for `steps`, grown when a text holds more) and what the parts so far
  // left (the count, a wait of its own waiting for its step).
  function stepReader(steps) { return { s: new Steps(steps), n: 0, pending: 0 }; }
  function readPart(reader, text) {
    var pos = 0, len = text.length, s = reader.s;
    while (pos < len) {
      var end = text.indexOf('\n', pos);
      if (end < 0) end = len;
      var what = readLine(text, pos, end);
      if (what === 2) reader.pending += line.wait;
      else if (what === 1) {
        if (reader.n === s.n) {
          var more = new Steps(Math.max(1024, s.n * 2));
          ['kind', 'wait', 'x', 'y', 'z'].forEach(function (k) { more[k].set(s[k]); });
          s = reader.s = more;
        }
        var n = reader.n++;
        s.kind[n] = line.kind; s.wait[n] = line.wait + reader.pending; s.x[n] = line.x; s.y[n] = line.y;
        s.z[n] = line.kind === K_EVENT ? ed.raw.push(line.raw) - 1 : line.z;
        reader.pending = 0;
      }
      pos = end + 1;
    }
  }
  // The steps read so far, as columns of their own length (views of the reader's).
  function readSteps(reader) {
    var s = reader.s, v = { n: reader.n };
    ['kind', 'wait', 'x', 'y', 'z'].forEach(function (k) { v[k] = s[k].subarray(0, reader.n); });
    return v;
  }

  // ".001" to ".999" without trailing zeros, by the microseconds past the millisecond.
  var MS_FRACTIONS = [''];
  for (var f = 1; f < 1000; f++) MS_FRACTIONS.push('.' + String(1000 + f).slice(1).replace(/0+$/, ''));
  function msText(us) {
    var whole = Math.floor(us / 1000);
    return whole + MS_FRACTIONS[us - whole * 1000];
  }
  function keyName(code) { return ed.keys[code] || ('Key' + code); }
  function stepText(s, i) {
    switch (s.kind[i]) {
      case K_MOVE: return 'move ' + s.x[i] + ' ' + s.y[i];
      case K_MOVE_BY: return 'move-by ' + s.x[i] + ' ' + s.y[i];
      case K_PRESS: return 'press ' + ED_BUTTONS[s.z[i]] + ' ' + s.x[i] + ' ' + s.y[i];
      case K_RELEASE: return 'release ' + ED_BUTTONS[s.z[i]] + ' ' + s.x[i] + ' ' + s.y[i];
      case K_WHEEL: return 'wheel ' + s.x[i];
      case K_KEY_DOWN: return 'key-down ' + keyName(s.z[i]) + ' ' + s.z[i];
      case K_KEY_UP: return 'key-up ' + keyName(s.z[i]) + ' ' + s.z[i];
      default: return 'event ' + ed.raw[s.z[i]];
    }
  }
  // The macro text of the steps, LF line ends; built in pieces of some thousand lines, which keeps
  // a million lines from becoming one deep chain of joined strings.
  function writeSteps(s) {
    var h = ed.header;
    var pieces = ['Ravelin macro 1\n' + (h.screen ? 'screen ' + h.screen + '\n' : '') +
      (h.name ? 'name ' + h.name + '\n' : '') + (h.note ? 'note ' + h.note + '\n' : '')];
    var lines = [];
    for (var i = 0; i < s.n; i++) {
      var w = s.wait[i];
      for (; w > ED_MAX_WAIT_US; w -= ED_MAX_WAIT_US) lines.push('wait 86400000');
      lines.push(msText(w) + ' ' + stepText(s, i));
      if (lines.length >= 4096) { pieces.push(lines.join('\n') + '\n'); lines = []; }
    }
    if (lines.length) pieces.push(lines.join('\n') + '\n');
    return pieces.join('');
  }

  // ---- edits: each replaces a range of steps, and the undo record keeps what it replaced
  function edReplace(a, b, part, selectFrom, selectCount) {
    var s = ed.s;
    var removed = stepsSlice(s, a, b);
    if (part.n === b - a) {
      s.kind.set(part.kind, a); s.wait.set(part.wait, a); s.x.set(part.x, a); s.y.set(part.y, a); s.z.set(part.z, a);
    } else {
      var t = new Steps(s.n - (b - a) + part.n);
      var cols = ['kind', 'wait', 'x', 'y', 'z'];
      for (var c = 0; c < cols.length; c++) {
        var k = cols[c];
        t[k].set(s[k].subarray(0, a));
        t[k].set(part[k], a);
        t[k].set(s[k].subarray(b), a + part.n);
      }
      ed.s = t;
    }
    return { a: a, removed: removed, added: part.n, selectFrom: selectFrom, selectCount: selectCount };
  }
  function edDo(a, b, part, selectFrom, selectCount, said) {
    var record = edReplace(a, b, part, selectFrom, selectCount);
    record.id = ++ed.lastId;
    record.said = said;
    ed.undo.push(record);
    ed.redo = [];
    ed.state = record.id;
    edKeepUndoSmall();
    edChanged(selectFrom, selectCount);
    edSay(said || '');
  }
  function edKeepUndoSmall() {
    var kept = 0, i;
    for (i = 0; i < ed.redo.length; i++) kept += ed.redo[i].removed.n;
    for (i = ed.undo.length - 1; i >= 0; i--) {
      kept += ed.undo[i].removed.n;
      if (kept > ED_UNDO_STEPS) { ed.undo.splice(0, i + 1); break; }
    }
  }
  function edUndoRedo(from, to, undoing) {
    var record = from.pop();
    if (!record) return;
    var back = edReplace(record.a, record.a + record.added, record.removed, record.a, record.removed.n);
    back.id = record.id;
    back.said = record.said;
    to.push(back);
    ed.state = undoing ? (ed.undo.length ? ed.undo[ed.undo.length - 1].id : 0) : record.id;
    var count = record.removed.n;
    edChanged(record.a, count <= 100000 ? count : 0);
    edSay((undoing ? 'Undone: ' : 'Redone: ') + (record.said || 'the edit'));
  }

  // The selected steps' span [lo, hi], or null.
  function edSpan() {
    var lo = ed.selCount ? ed.sel.indexOf(1) : -1;
    return lo < 0 ? null : { lo: lo, hi: ed.sel.lastIndexOf(1) };
  }

  // A deleted step's wait goes to the next step kept, so the steps after it keep their times.
  function edDelete() {
    var sp = edSpan();
    if (!sp) return;
    var s = ed.s, b = Math.min(s.n, sp.hi + 2);
    var part = new Steps(b - sp.lo), n = 0, carry = 0;
    for (var i = sp.lo; i < b; i++) {
      if (ed.sel[i]) { carry += s.wait[i]; continue; }
      copyStep(s, i, part, n);
      part.wait[n++] += carry;
      carry = 0;
    }
    var gone = ed.selCount;
    edDo(sp.lo, b, stepsCut(part, n), Math.min(sp.lo, s.n - gone - 1), 1, 'deleted ' + plural(gone, 'step', 'steps'));
  }
  function edDuplicate() {
    var sp = edSpan();
    if (!sp) return;
    var s = ed.s, size = sp.hi + 1 - sp.lo, copies = ed.selCount;
    var part = new Steps(size + copies), n = size;
    for (var i = sp.lo; i <= sp.hi; i++) {
      copyStep(s, i, part, i - sp.lo);
      if (ed.sel[i]) copyStep(s, i, part, n++);
    }
    edDo(sp.lo, sp.hi + 1, part, sp.hi + 1, copies, 'duplicated ' + plural(copies, 'step', 'steps'));
  }
  // Each selected step changes places with the unselected step above (or below) it, wait and all.
  function edMove(up) {
    var sp = edSpan(), s = ed.s;
    if (!sp || (up && sp.lo === 0) || (!up && sp.hi === s.n - 1)) return;
    var a = up ? sp.lo - 1 : sp.lo, b = up ? sp.hi + 1 : sp.hi + 2;
    var part = stepsSlice(s, a, b), flags = ed.sel.slice(a, b), tmp = new Steps(1);
    var swap = function (i, j) {
      copyStep(part, i, tmp, 0); copyStep(part, j, part, i); copyStep(tmp, 0, part, j);
      var f = flags[i]; flags[i] = flags[j]; flags[j] = f;
    };
    var i;
    if (up) { for (i = 1; i < part.n; i++) if (flags[i] && !flags[i - 1]) swap(i, i - 1); }
    else { for (i = part.n - 2; i >= 0; i--) if (flags[i] && !flags[i + 1]) swap(i, i + 1); }
    edDo(a, b, part, -1, 0, up ? 'moved up' : 'moved down');
    edSelectFlags(a, flags);
  }
  function edFieldNumber(id, fallback) {
    var v = Number(String($(id).value).trim().replace(',', '.'));
    return isFinite(v) && v >= 0 ? v : fallback;
  }
  function edInsertWait() {
    var ms = edFieldNumber('editor-wait-ms', -1);
    if (ms <= 0) { edSay('Give the wait to insert in milliseconds.', true); return; }
    var at = ed.selCount ? ed.sel.indexOf(1) : 0;
    if (!ed.s.n) return;
    var part = stepsSlice(ed.s, at, at + 1);
    part.wait[0] = Math.min(ED_MAX_WAIT_US * 365, part.wait[0] + Math.round(ms * 1000));
    edDo(at, at + 1, part, at, 1, 'inserted a wait of ' + msText(Math.round(ms * 1000)) + ' ms before step ' + (at + 1));
  }
  // A left click where the pointer is at that point of the recording: after the last selected step,
  // or at the end.
  function edInsertClick() {
    var s = ed.s, at = ed.selCount ? ed.sel.lastIndexOf(1) + 1 : s.n, x = 0, y = 0;
    for (var i = at - 1; i >= 0; i--) {
      var k = s.kind[i];
      if (k === K_MOVE || k === K_PRESS || k === K_RELEASE) { x = s.x[i]; y = s.y[i]; break; }
    }
    var part = new Steps(2);
    part.kind[0] = K_PRESS; part.kind[1] = K_RELEASE;
    part.wait[0] = 100000; part.wait[1] = 50000;
    part.x[0] = part.x[1] = x; part.y[0] = part.y[1] = y;
    edDo(at, at, part, at, 2, 'inserted a click');
  }
  // The waits of the selected steps (of all when none is selected) that are at least `least` ms:
  // multiplied by a factor, or set to a number of milliseconds.
  function edWaits() {
    var op = $('editor-wait-op').value, value = edFieldNumber('editor-wait-value', -1);
    var least = edFieldNumber('editor-wait-min', 0) * 1000;
    if (value < 0) { edSay('Give a factor or a number of milliseconds of 0 or more.', true); return; }
    var s = ed.s, sp = edSpan(), a = sp ? sp.lo : 0, b = sp ? sp.hi + 1 : s.n, changed = 0;
    if (b <= a) return;
    var part = stepsSlice(s, a, b);
    for (var i = a; i < b; i++) {
      if ((sp && !ed.sel[i]) || s.wait[i] < least) continue;
      var w = op === 'set' ? Math.round(value * 1000) : Math.round(s.wait[i] * value);
      w = Math.min(w, ED_MAX_WAIT_US * 365);
      if (w !== part.wait[i - a]) { part.wait[i - a] = w; changed++; }
    }
    if (!changed) { edSay('No wait changed.'); return; }
    edDo(a, b, part, sp ? -2 : -1, 0, (op === 'set' ? 'set ' : 'scaled ') + plural(changed, 'wait', 'waits'));
  }
  function edTrimStart() {
    if (!ed.s.n || ed.s.wait[0] === 0) { edSay('The first step already happens at once.'); return; }
    var part = stepsSlice(ed.s, 0, 1);
    var was = part.wait[0];
    part.wait[0] = 0;
    edDo(0, 1, part, -2, 0, 'trimmed ' + msText(was) + ' ms of idle time at the start');
  }
  // The moves after the last click, wheel turn or key: the pointer's way to the button that stopped
  // the recording.
  function edTrimEnd() {
    var s = ed.s, last = s.n - 1;
    while (last >= 0 && (s.kind[last] === K_MOVE || s.kind[last] === K_MOVE_BY)) last--;
    if (last < 0 || last === s.n - 1) { edSay(last < 0 ? 'There is no click, wheel turn or key to end on.' : 'Nothing follows the last click, wheel turn or key.'); return; }
    var gone = s.n - 1 - last;
    edDo(last + 1, s.n, new Steps(0), last, 1, 'trimmed ' + plural(gone, 'move', 'moves') + ' at the end');
  }
  // Drops the absolute moves closer than `px` pixels or `ms` milliseconds to the last step kept;
  // every other step stays, and a dropped move's wait goes to the next step kept.
  function thinSteps(s, px, ms) {
    var part = new Steps(s.n), n = 0, carry = 0, lastX = 0, lastY = 0, placed = false, sinceUs = 0;
    var px2 = px * px, us = ms * 1000;
    for (var i = 0; i < s.n; i++) {
      var k = s.kind[i];
      sinceUs += s.wait[i];
      if (k === K_MOVE && placed) {
        var dx = s.x[i] - lastX, dy = s.y[i] - lastY;
        if ((px > 0 && dx * dx + dy * dy < px2) || (us > 0 && sinceUs < us)) { carry += s.wait[i]; continue; }
      }
      copyStep(s, i, part, n);
      part.wait[n++] += carry;
      carry = 0;
      sinceUs = 0;
      if (k === K_MOVE || k === K_PRESS || k === K_RELEASE) { lastX = s.x[i]; lastY = s.y[i]; placed = true; }
    }
    return stepsCut(part, n);
  }
  function edThin() {
    var px = edFieldNumber('editor-thin-px', 0), ms = edFieldNumber('editor-thin-ms', 0);
    if (px <= 0 && ms <= 0) { edSay('Give a distance in pixels or a time in milliseconds.', true); return; }
    var part = thinSteps(ed.s, px, ms), gone = ed.s.n - part.n;
    if (!gone) { edSay('No move was that close.'); return; }
    edDo(0, ed.s.n, part, -1, 0, 'thinned the mouse path: ' + plural(gone, 'move', 'moves') + ' dropped');
  }

  // ---- selection
  function edSelectOnly(i, count) {
    ed.sel.fill(0);
    ed.selCount = 0;
    for (var k = i; k < i + count && k < ed.s.n; k++) { if (k >= 0) { ed.sel[k] = 1; ed.selCount++; } }
    ed.anchor = ed.cursor = count > 0 ? Math.max(0, Math.min(i, ed.s.n - 1)) : -1;
  }
  function edSelectFlags(a, flags) {
    ed.sel.fill(0);
    ed.sel.set(flags, a);
    ed.selCount = 0;
    for (var i = 0; i < flags.length; i++) ed.selCount += flags[i];
    ed.anchor = ed.cursor = a + flags.indexOf(1);
    edRender();
    edShowRow(ed.cursor);
  }
  // selectFrom: the first step to select (count of them); -1 none; -2 keep the selection.
  function edChanged(selectFrom, selectCount) {
    if (selectFrom !== -2 || ed.sel.length !== ed.s.n) {
      var keep = selectFrom === -2 ? ed.sel : null;
      ed.sel = new Uint8Array(ed.s.n);
      if (keep) { ed.sel.set(keep.subarray(0, ed.s.n)); }
      ed.selCount = 0;
      if (keep) for (var i = 0; i < ed.sel.length; i++) ed.selCount += ed.sel[i];
      if (selectFrom >= 0) edSelectOnly(selectFrom, selectCount || 0);
      else if (!keep) ed.anchor = ed.cursor = -1;
    }
    ed.closeAsked = false;
    edLayout();
    // The steps an edit selected come into view; a kept selection leaves the list where it is.
    if (selectFrom >= 0 && ed.cursor >= 0) edShowRow(ed.cursor);
  }
  function edClick(i, e) {
    if (e.shiftKey && ed.anchor >= 0) {
      var a = Math.min(ed.anchor, i), b = Math.max(ed.anchor, i);
      ed.sel.fill(0);
      ed.sel.fill(1, a, b + 1);
      ed.selCount = b + 1 - a;
      ed.cursor = i;
    } else if (e.ctrlKey || e.metaKey) {
      ed.sel[i] ^= 1;
      ed.selCount += ed.sel[i] ? 1 : -1;
      ed.anchor = ed.cursor = i;
    } else {
      edSelectOnly(i, 1);
    }
    edRender();
  }

  // ---- the list: a spacer as tall as the rows would be, and a pool of rows moved into view
  function edTall() { return ed.s.n * ED_ROW_PX > ED_MAX_PX; }
  function edLayout() {
    var list = $('editor-list');
    $('editor-spacer').style.height = Math.min(ed.s.n * ED_ROW_PX, ED_MAX_PX) + 'px';
    var need = Math.ceil(list.clientHeight / ED_ROW_PX) + 1, rows = $('editor-rows');
    while (ed.rows.length < need) {
      var r = document.createElement('div');
      r.className = 'editor-row';
      r.setAttribute('role', 'option');
      r.innerHTML = '<span class="n"></span><span class="w"></span><span class="s"></span>';
      rows.appendChild(r);
      ed.rows.push({ el: r, n: r.children[0], w: r.children[1], s: r.children[2], at: -2 });
    }
    edStats();
    edRender(true);
  }
  // The first row in view, and where the pool of rows is placed.
  function edTop() {
    var list = $('editor-list'), top = list.scrollTop;
    if (!edTall()) return { first: Math.floor(top / ED_ROW_PX), offset: top - (top % ED_ROW_PX) };
    var fit = Math.floor(list.clientHeight / ED_ROW_PX), room = Math.max(1, ED_MAX_PX - list.clientHeight);
    return { first: Math.round(Math.min(1, top / room) * Math.max(0, ed.s.n - fit)), offset: top };
  }
  function edShowRow(i) {
    var list = $('editor-list'), fit = Math.floor(list.clientHeight / ED_ROW_PX);
    var t = edTop();
    if (i >= t.first && i < t.first + fit) return;
    var first = i < t.first ? i : i - fit + 1;
    if (!edTall()) list.scrollTop = first * ED_ROW_PX;
    else list.scrollTop = Math.round(first / Math.max(1, ed.s.n - fit) * (ED_MAX_PX - list.clientHeight));
    edRender();
  }
  function edRender(all) {
    if (ed.editing) return;
    var t = edTop(), s = ed.s;
    $('editor-rows').style.transform = 'translateY(' + t.offset + 'px)';
    for (var k = 0; k < ed.rows.length; k++) {
      var row = ed.rows[k], i = t.first + k;
      if (i >= s.n) { setHidden(row.el, true); row.at = -2; continue; }
      setHidden(row.el, false);
      if (row.at !== i || all || row.stamp !== ed.state) {
        row.at = i;
        row.stamp = ed.state;
        row.el.setAttribute('data-at', i);
        row.el.setAttribute('data-kind', ED_WORDS[s.kind[i]]);
        row.n.textContent = i + 1;
        row.w.textContent = msText(s.wait[i]);
        row.s.textContent = stepText(s, i);
      }
      var on = ed.sel[i] ? 'true' : 'false';
      if (row.el.getAttribute('aria-selected') !== on) row.el.setAttribute('aria-selected', on);
    }
    edTools();
  }
  function edStats() {
    var s = ed.s, clicks = 0, keys = 0, length = 0;
    for (var i = 0; i < s.n; i++) {
      var k = s.kind[i];
      if (k === K_PRESS) clicks++;
      else if (k === K_KEY_DOWN) keys++;
      length += s.wait[i];
    }
    setText($('editor-stats'), plural(s.n, 'step', 'steps') + ' · ' + plural(clicks, 'click', 'clicks') + ' · ' +
      plural(keys, 'key', 'keys') + ' · ' + macroLength(length / 1000) + (ed.state !== ed.saved ? ' · not saved' : ''));
  }
  function edTools() {
    all('#step-editor .editor-tools button').forEach(function (b) {
      b.disabled = ed.busy || (b.hasAttribute('data-sel') && !ed.selCount);
    });
    $('editor-undo').disabled = ed.busy || !ed.undo.length;
    $('editor-redo').disabled = ed.busy || !ed.redo.length;
    $('editor-save').disabled = ed.busy || ed.state === ed.saved;
    setText($('editor-waits-of'), ed.selCount ? 'Waits of the selected steps' : 'Waits of all steps');
  }
  function edSay(text, warn) {
    var msg = $('editor-msg');
    setText(msg, text ? text.charAt(0).toUpperCase() + text.slice(1) + (/[.:?]$/.test(text) ? '' : '.') : '');
    setHidden(msg, !text);
    setFlag(msg, 'warn', !!warn);
  }

  // ---- changing one step where it is shown
  function edBeginEdit(i, field) {
    if (ed.editing) edEndEdit(false);
    var row = null;
    for (var k = 0; k < ed.rows.length; k++) if (ed.rows[k].at === i) row = ed.rows[k];
    if (!row) return;
    var cell = field === 'w' ? row.w : row.s;
    var input = document.createElement('input');
    input.value = cell.textContent;
    input.setAttribute('aria-label', field === 'w' ? 'Wait before step ' + (i + 1) + ', milliseconds' : 'Step ' + (i + 1));
    input.spellcheck = false;
    cell.textContent = '';
    cell.appendChild(input);
    ed.editing = { at: i, field: field, input: input };
    input.addEventListener('keydown', function (e) {
      e.stopPropagation();
      if (e.key === 'Enter') { e.preventDefault(); edEndEdit(true); }
      else if (e.key === 'Escape') { e.preventDefault(); edEndEdit(false); }
    });
    input.addEventListener('blur', function () { if (ed.editing && ed.editing.input === input) edEndEdit(true); });
    input.focus();
    input.select();
  }
  function edEndEdit(keep) {
    var e = ed.editing;
    if (!e) return;
    var text = e.input.value.trim(), s = ed.s, i = e.at;
    if (keep) {
      var wait = e.field === 'w' ? readMs(text, 0, text.length) : s.wait[i];
      var t = msText(wait) + ' ' + (e.field === 's' ? text : stepText(s, i));
      var what = wait >= 0 && wait <= ED_MAX_WAIT_US ? readLine(t, 0, t.length) : -1;
      if (what !== 1) {
        e.input.setAttribute('aria-invalid', 'true');
        edSay(e.field === 'w' ? 'A wait is milliseconds from 0 to 86400000, at most three digits after the point.' : 'Step ' + (i + 1) + ': ' + line.error, true);
        e.input.focus();
        return;
      }
      ed.editing = null;
      var part = new Steps(1);
      part.kind[0] = line.kind; part.wait[0] = line.wait; part.x[0] = line.x; part.y[0] = line.y;
      part.z[0] = line.kind === K_EVENT ? ed.raw.push(line.raw) - 1 : line.z;
      if (t !== msText(s.wait[i]) + ' ' + stepText(s, i)) edDo(i, i + 1, part, i, 1, 'changed step ' + (i + 1));
    }
    ed.editing = null;
    edRender(true);
    $('editor-list').focus();
  }

  // ---- the recording changed elsewhere while shown
  // A new recording, a macro loaded, another profile, "Bring it back": the editor reads the new
  // recording when it holds no edits of its own (once a recording under way has ended); with edits,
  // it says so once and keeps them, for Save to put in place of the new one or Close to drop.
  function edBase() {
    return { count: ed.s.n, profile: profiles ? profiles.current : null };
  }
  function edNoticeChange(s) {
    if ($('step-editor').hidden || ed.busy || !ed.base || ed.stale) return;
    var recordingNow = s.state === 'Recording';
    var other = recordingNow || (s.state === 'Idle' && typeof s.count === 'number' && s.count !== ed.base.count) ||
      (profiles && ed.base.profile !== null && profiles.current !== ed.base.profile);
    if (!other) return;
    if (ed.state !== ed.saved) {
      ed.stale = true;
      edSay('The recording changed since the editor read it: Save puts these edits in its place; Close drops them.', true);
    } else if (recordingNow) {
      edSay('A new recording is being made: the editor shows it when it ends.');
    } else {
      edOpen('The recording changed: the editor shows the new one.');
    }
  }

  // ---- opening, saving, playing
  // The recording comes in parts: the editor shows the first rows at once and takes the rest as
  // they come; edits wait until the whole recording is in. `note` is said once it is shown.
  function edOpen(note) {
    if (ed.busy) return;
    ed.busy = true;
    ed.base = null;
    ed.stale = false;
    ed.raw = [];
    ed.header = { screen: '', name: '', note: '' };
    setText($('editor-stats'), 'Reading the recording…');
    var failed = function (r) {
      ed.busy = false;
      edClose(true);
      macroSay(String((r && r.message) || 'The recording could not be read.'), true);
    };
    call('readRecording').then(function (job) {
      if (typeof job !== 'number' || job <= 0) { failed({ message: 'The program is busy with other macro files: try again in a moment.' }); return; }
      (function ask() {
        call('getMacroJob', job).then(function (r) {
          if (isObj(r) && !r.done) { setTimeout(ask, 10); return; }
          if (!isObj(r) || !r.ok || typeof r.text !== 'string') { failed(r); return; }
          ed.keys = Array.isArray(r.keys) ? r.keys : [];
          ed.keyCodes = {};
          ed.keys.forEach(function (name, code) { ed.keyCodes[String(name).toLowerCase()] = code; });
          var steps = Number(r.steps) >= 0 ? Number(r.steps) : 1024, parts = Number(r.parts) || 1;
          var reader = stepReader(steps);
          readPart(reader, r.text);
          ed.s = readSteps(reader);
          ed.undo = []; ed.redo = []; ed.state = ed.saved = 0;
          setHidden($('step-editor'), false);
          edSay(typeof note === 'string' ? note : '');
          $('editor-list').scrollTop = 0;
          edChanged(-1, 0);
          $('editor-list').focus();
          (function next(part) {
            if (part >= parts) {
              ed.busy = false;
              ed.base = edBase();
              edLayout();
              return;
            }
            setText($('editor-stats'), 'Reading the recording… ' + Math.floor(part * 100 / parts) + '%');
            call('getMacroJob', job, part).then(function (p) {
              if ($('step-editor').hidden) return;
              if (!isObj(p) || !p.ok || typeof p.text !== 'string') { failed(p); return; }
              readPart(reader, p.text);
              ed.s = readSteps(reader);
              ed.sel = new Uint8Array(ed.s.n);
              ed.selCount = 0;
              ed.anchor = ed.cursor = -1;
              $('editor-spacer').style.height = Math.min(ed.s.n * ED_ROW_PX, ED_MAX_PX) + 'px';
              edRender(true);
              next(part + 1);
            });
          })(1);
        });
      })();
    });
  }
  function edSave() {
    if (ed.busy || ed.state === ed.saved) return Promise.resolve(true);
    ed.busy = true;
    edTools();
    var state = ed.state;
    edSay('Saving…');
    // A long text goes in parts of about 2 MB cut at line ends; the last part's call starts the job.
    var text = writeSteps(ed.s), parts = [];
    for (var at = 0; at < text.length;) {
      var end = at + ED_PART_CHARS < text.length ? text.indexOf('\n', at + ED_PART_CHARS) + 1 : text.length;
      if (end <= 0) end = text.length;
      parts.push(text.slice(at, end));
      at = end;
    }
    text = null;
    var sent = Promise.resolve(true);
    parts.slice(0, -1).forEach(function (part, k) {
      sent = sent.then(function (ok) { return ok === true ? call('saveRecording', part, k, parts.length) : false; });
    });
    return sent.then(function (ok) {
      if (ok !== true) return { ok: false, message: 'The edited recording did not reach the program: try again.' };
      var last = parts.length ? parts[parts.length - 1] : 'Ravelin macro 1\n';
      return parts.length > 1 ? macroJob('saveRecording', last, parts.length - 1, parts.length) : macroJob('saveRecording', last);
    }).then(function (r) {
      ed.busy = false;
      var ok = !!(r && r.ok);
      if (ok) { ed.saved = state; ed.base = edBase(); ed.stale = false; }
      edSay(String((r && r.message) || 'No answer from the program.'), !ok);
      edStats();
      edTools();
      readStatus();
      readReplaced();
      return ok;
    });
  }
  // Plays steps [from, to) of the recording (to -1: to the end), the edits saved first.
  function edPlay(from, to) {
    edSave().then(function (ok) {
      if (!ok) return;
      call('playSteps', from, to).then(function (started) {
        if (started !== true) edSay('Playback did not start: stop the recording or the playback first.', true);
        else edSay('Playing ' + (to < 0 ? 'from step ' + (from + 1) : 'steps ' + (from + 1) + ' to ' + to) + '.');
        readStatus();
      });
    });
  }
  function edClose(force) {
    if (force !== true && ed.busy) return;
    if (force !== true && ed.state !== ed.saved && !ed.closeAsked) {
      ed.closeAsked = true;
      edSay('The edits are not saved: Save them, or press Close again to drop them.', true);
      return;
    }
    setHidden($('step-editor'), true);
    ed.s = new Steps(0); ed.sel = new Uint8Array(0); ed.undo = []; ed.redo = []; ed.raw = [];
    ed.selCount = 0; ed.closeAsked = false;
    focusSafe($('editor-open'));
  }

  setHidden($('editor-open'), isPanelWindow || !has('readRecording') || !has('saveRecording'));
  $('editor-open').addEventListener('click', function () { edOpen(); });
  $('editor-close').addEventListener('click', function () { edClose(); });
  $('editor-save').addEventListener('click', function () { edSave(); });
  edTool('editor-undo', function () { edUndoRedo(ed.undo, ed.redo, true); });
  edTool('editor-redo', function () { edUndoRedo(ed.redo, ed.undo, false); });
  // The tools wait while the recording is read or saved.
  function edTool(id, fn) { $(id).addEventListener('click', function () { if (!ed.busy) fn(); }); }
  edTool('editor-delete', edDelete);
  edTool('editor-duplicate', edDuplicate);
  edTool('editor-up', function () { edMove(true); });
  edTool('editor-down', function () { edMove(false); });
  edTool('editor-insert-wait', edInsertWait);
  edTool('editor-insert-click', edInsertClick);
  edTool('editor-wait-apply', edWaits);
  edTool('editor-trim-start', edTrimStart);
  edTool('editor-trim-end', edTrimEnd);
  edTool('editor-thin', edThin);
  edTool('editor-play-from', function () { var sp = edSpan(); if (sp) edPlay(sp.lo, -1); });
  edTool('editor-play-sel', function () { var sp = edSpan(); if (sp) edPlay(sp.lo, sp.hi + 1); });
  $('editor-list').addEventListener('scroll', function () { edRender(); }, { passive: true });
  $('editor-rows').addEventListener('mousedown', function (e) {
    var row = e.target.closest('.editor-row');
    if (!row || e.target.tagName === 'INPUT' || ed.busy) return;
    edClick(Number(row.getAttribute('data-at')), e);
  });
  $('editor-rows').addEventListener('dblclick', function (e) {
    var row = e.target.closest('.editor-row');
    if (!row || e.target.tagName === 'INPUT' || ed.busy) return;
    edBeginEdit(Number(row.getAttribute('data-at')), e.target.closest('.w') ? 'w' : 's');
  });
  window.addEventListener('resize', function () { if (!$('step-editor').hidden) edLayout(); });
  $('step-editor').addEventListener('keydown', function (e) {
    var mod = e.ctrlKey || e.metaKey;
    if (e.target.tagName === 'INPUT' || e.target.tagName === 'SELECT') return;
    if (ed.busy && e.key !== 'Escape') return;
    if (mod && (e.key === 'z' || e.key === 'Z')) { e.preventDefault(); if (e.shiftKey) edUndoRedo(ed.redo, ed.undo, false); else edUndoRedo(ed.undo, ed.redo, true); return; }
    if (mod && (e.key === 'y' || e.key === 'Y')) { e.preventDefault(); edUndoRedo(ed.redo, ed.undo, false); return; }
    if (e.key === 'Escape') { e.preventDefault(); edClose(); return; }
    if (e.target !== $('editor-list')) return;
    var n = ed.s.n, page = Math.max(1, Math.floor($('editor-list').clientHeight / ED_ROW_PX) - 1);
    var step = { ArrowUp: -1, ArrowDown: 1, PageUp: -page, PageDown: page, Home: -n, End: n }[e.key];
    if (step && n) {
      e.preventDefault();
      var to = Math.max(0, Math.min(n - 1, (ed.cursor < 0 ? 0 : ed.cursor) + step));
      if (e.shiftKey && ed.anchor >= 0) { var anchor = ed.anchor; edClick(to, { shiftKey: true }); ed.anchor = anchor; }
      else edSelectOnly(to, 1);
      edShowRow(to);
      edRender();
    } else if (e.key === 'Delete') { e.preventDefault(); edDelete(); }
    else if (e.key === 'Enter' && ed.cursor >= 0) { e.preventDefault(); edShowRow(ed.cursor); edBeginEdit(ed.cursor, 's'); }
    else if (mod && (e.key === 'a' || e.key === 'A')) { e.preventDefault(); ed.sel.fill(1); ed.selCount = n; ed.anchor = 0; ed.cursor = n - 1; edRender(); }
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
