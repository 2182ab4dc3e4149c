// The teacher's page: the record of games, the students, the room and the players, through the
// gateway's teacher API. Every text from the server goes in with textContent, never as markup.
"use strict";

const $ = (id) => document.getElementById(id);
const marks = ["①", "②", "③", "④"];
const markWords = { "－": "未準備", "○": "準備ＯＫ", "×": "ゲーム中" };
const pages = ["results", "students", "missed", "room", "players", "points"];
const rangePages = ["results", "students", "missed"];
const expiredMessage = "サインインの期限が切れました。もう一度サインインしてください。";
const offlineMessage = "サーバーに接続できません";

// Thrown when the gateway no longer takes the teacher's cookie; the sign-in form is back then.
class SignedOut extends Error {}

function showSignIn(message) {
  $("desk").hidden = true;
  $("signout").hidden = true;
  $("signin").hidden = false;
  $("signin-message").textContent = message || "";
  $("password").focus();
}

// The reply's JSON; a 403 shows the sign-in form and throws SignedOut.
async function call(path, body) {
  const options = body === undefined ? {} : {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify(body),
  };
  let response;
  try {
    response = await fetch(path, options);
  } catch {
    return { ok: false, message: offlineMessage };
  }
  if (response.status === 403) {
    showSignIn(expiredMessage);
    throw new SignedOut();
  }
  const reply = await response.json().catch(() => null);
  if (reply === null) {
    return { ok: false, message: response.status === 404 ? "見つかりません。" : `サーバーの応答：${response.status}` };
  }
  if (!response.ok && reply.ok === undefined) reply.ok = false;
  return reply;
}

// Runs an action and swallows SignedOut, which has shown the sign-in form already.
function guarded(action) {
  return (...args) => action(...args).catch((error) => {
    if (!(error instanceof SignedOut)) throw error;
  });
}

function number(value) {
  return Number(value || 0).toLocaleString("ja-JP", { maximumFractionDigits: 2 });
}

function percent(rate) {
  return `${(Number(rate || 0) * 100).toFixed(1)}%`;
}

// A table row of cells; a cell is a text, or { text, row: true } for the row's header, or a
// node (a button, a form) put in as it is.
function row(cells) {
  const tr = document.createElement("tr");
  for (const cell of cells) {
    const isHead = cell !== null && typeof cell === "object" && cell.row;
    const td = document.createElement(isHead ? "th" : "td");
    if (isHead) {
      td.scope = "row";
      td.textContent = cell.text;
    } else if (cell instanceof Node) td.append(cell);
    else td.textContent = cell;
    if (typeof cell === "number" || (typeof cell === "string" && /^[\d.,%]+( 点)?$/.test(cell))) td.className = "num";
    tr.append(td);
  }
  return tr;
}

// Fills a table body, or hides the table and says in the note that there is nothing to show.
function fillRows(body, note, items, make, emptyText) {
  body.replaceChildren(...items.map(make));
  body.closest(".scroll").hidden = items.length === 0;
  $(note).textContent = items.length === 0 ? emptyText : `${items.length} 件`;
}

function button(text, label, onClick, className) {
  const b = document.createElement("button");
  b.type = "button";
  b.textContent = text;
  if (label) b.setAttribute("aria-label", label);
  if (className) b.className = className;
  b.addEventListener("click", onClick);
  return b;
}

// ---- the date range shared by the results, the students and the missed questions ----

function today() {
  const d = new Date();
  const two = (n) => String(n).padStart(2, "0");
  return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())}`;
}

function range() {
  return new URLSearchParams({ from: $("from").value, to: $("to").value }).toString();
}

// Whether the range can be asked for; says what is wrong when not.
function rangeIsValid() {
  const from = $("from").value;
  const to = $("to").value;
  let message = "";
  if (from === "" || to === "") message = "期間の日付を両方入れてください。";
  else if (from > to) message = "期間の始めの日が終わりの日より後です。";
  $("range-message").textContent = message;
  $("range-csv").hidden = message !== "";
  if (message === "") $("range-csv").href = `/api/teacher/export.csv?${range()}`;
  else $("range-csv").removeAttribute("href");
  return message === "";
}

// ---- 結果 ----

let shownGame = 0;

async function loadGames() {
  if (!rangeIsValid()) return;
  const reply = await call(`/api/teacher/games?${range()}`);
  const games = reply.games || [];
  fillRows($("games-rows"), "games-note", games, (g) => row([
    { row: true, text: `No. ${g.id}` },
    g.started,
    g.ended || "（終わっていません）",
    `${g.members}`,
    `${g.top}`,
    (g.winners || []).join("、") || "無し",
    button(g.id === shownGame ? "表示中" : "見る", `ゲーム No. ${g.id} の詳細を見る`, () => openGame(g.id)),
  ]), reply.message || "この期間のゲームはありません。");
}

const openGame = guarded(async (id) => {
  const reply = await call(`/api/teacher/game?id=${encodeURIComponent(id)}`);
  if (!reply.game) {
    $("game").hidden = true;
    $("game-message").textContent = reply.message || "そのゲームは記録にありません。";
    return;
  }
  $("game-message").textContent = "";
  shownGame = reply.game.id;
  for (const b of $("games-rows").querySelectorAll("button")) {
    const mine = b.getAttribute("aria-label") === `ゲーム No. ${shownGame} の詳細を見る`;
    b.textContent = mine ? "表示中" : "見る";
  }
  showGame(reply);
  $("game").hidden = false;
  $("game-title").focus();
});

function showGame(report) {
  const g = report.game;
  $("game-title").textContent = `ゲーム No. ${g.id} の詳細`;
  $("game-summary").textContent = `開始 ${g.started}　終了 ${g.ended || "（終わっていません）"}　人数 ${g.members}　` +
    `最高得点 ${g.top}（${(g.winners || []).join("、") || "無し"}）`;
  $("game-csv").href = `/api/teacher/export.csv?game=${encodeURIComponent(g.id)}`;
  $("ranking-rows").replaceChildren(...(report.members || []).map((m) => row([
    `${m.rank}位`, { row: true, text: m.name }, `${m.score}`, number(m.share), `${m.right}`, `${m.answered}`,
  ])));
  $("questions").replaceChildren(...(report.questions || []).map(questionBlock));
}

function questionBlock(q) {
  const section = document.createElement("section");
  section.className = "question";
  const title = document.createElement("h4");
  title.textContent = `第 ${q.no} 問（問題番号 ${q.bank}）`;
  const text = document.createElement("p");
  text.className = "question-text";
  text.textContent = q.text;
  const choices = document.createElement("ol");
  choices.className = "choices";
  (q.choices || []).forEach((choice, i) => {
    const li = document.createElement("li");
    li.textContent = `${marks[i]} ${choice}`;
    if (q.correct === i + 1) {
      li.className = "correct";
      const tag = document.createElement("strong");
      tag.textContent = "　○ 正解";
      li.append(tag);
    }
    choices.append(li);
  });
  const summary = document.createElement("p");
  summary.textContent = `正解 ${marks[q.correct - 1] || "－"}　回答 ${q.answered} 人・正解 ${q.right} 人　` +
    `この問題を取った人：${q.winner || "無し"}`;

  const table = document.createElement("table");
  table.className = "grid answers";
  const caption = document.createElement("caption");
  caption.textContent = `第 ${q.no} 問の答え`;
  const head = document.createElement("thead");
  const headRow = document.createElement("tr");
  for (const text of ["名前", "答え", "正誤", "正解の順", "取った"]) {
    const th = document.createElement("th");
    th.scope = "col";
    th.textContent = text;
    headRow.append(th);
  }
  head.append(headRow);
  const rows = document.createElement("tbody");
  rows.append(...(q.answers || []).map((a) => row([
    { row: true, text: a.name },
    a.button ? `${marks[a.button - 1]} ${q.choices[a.button - 1] || ""}` : "－ 答えなし",
    a.button ? (a.right ? "○ 正解" : "× 不正解") : "× 答えなし",
    a.place ? `${a.place} 番目` : "－",
    a.won ? "◎ 取った" : "",
  ])));
  table.append(caption, head, rows);
  const scroll = document.createElement("div");
  scroll.className = "scroll";
  scroll.append(table);
  const about = document.createElement("div");
  about.append(text, choices, summary);
  const body = document.createElement("div");
  body.className = "question-body";
  body.append(about, scroll);
  section.append(title, body);
  return section;
}

// ---- 生徒別, よく間違える問題 ----

async function loadStudents() {
  if (!rangeIsValid()) return;
  const reply = await call(`/api/teacher/students?${range()}`);
  fillRows($("students-rows"), "students-note", reply.students || [], (s) => row([
    `${s.no}`, { row: true, text: s.name }, `${s.games}`, `${s.answered}`, `${s.right}`, percent(s.rate),
    number(s.won), number(s.points),
  ]), reply.message || "この期間にゲームをした生徒はいません。");
}

async function loadMissed() {
  if (!rangeIsValid()) return;
  const reply = await call(`/api/teacher/missed?${range()}&limit=20`);
  fillRows($("missed-rows"), "missed-note", reply.questions || [], (q, i) => row([
    `${i + 1}`, `${q.bank}`, { row: true, text: q.text }, `${q.asked}`, `${q.answers}`, `${q.right}`,
    percent(q.miss_rate),
  ]), reply.message || "この期間に出題された問題はありません。");
}

// ---- 部屋 ----

async function loadRoom() {
  const reply = await call("/api/teacher/room");
  fillRows($("room-rows"), "room-note", reply.members || [], (m) => row([
    `${m.member}`, { row: true, text: m.name }, `${m.mark} ${markWords[m.mark] || ""}`.trim(),
    button("外す", `${m.name} を部屋から外す`, () => removeMember(m), "danger"),
  ]), reply.message || "部屋には誰もいません。");
}

const removeMember = guarded(async (m) => {
  if (!confirm(`${m.name} を部屋から外しますか？`)) return;
  const reply = await call("/api/teacher/remove-member", { member: m.member });
  $("room-message").textContent = reply.message || "";
  await loadRoom();
});

const clearRoom = guarded(async () => {
  if (!confirm("部屋を片付けますか？ ゲーム中の人がいると、そのゲームは終わります。")) return;
  const reply = await call("/api/teacher/clear-room", { confirm: "clear" });
  $("room-message").textContent = reply.message || "";
  await loadRoom();
});

// ---- プレイヤー ----

async function loadPlayers() {
  const reply = await call("/api/teacher/players");
  fillRows($("players-rows"), "players-note", reply.players || [], (p) => row([
    `${p.no}`, { row: true, text: p.name }, number(p.points), passwordForm(p),
  ]), reply.message || "登録されているプレイヤーはいません。");
}

function passwordForm(player) {
  const form = document.createElement("form");
  form.className = "reset";
  form.noValidate = true;
  const user = document.createElement("input");
  user.type = "text";
  user.autocomplete = "username";
  user.value = player.name;
  user.hidden = true;
  const input = document.createElement("input");
  input.type = "password";
  input.autocomplete = "new-password";
  input.maxLength = 8;
  input.size = 10;
  input.id = `password-${player.no}`;
  input.setAttribute("aria-label", `${player.name} の新しいパスワード（半角 8 文字）`);
  input.placeholder = "半角 8 文字";
  const send = document.createElement("button");
  send.type = "submit";
  send.textContent = "再設定";
  send.setAttribute("aria-label", `${player.name} のパスワードを再設定`);
  const said = document.createElement("span");
  said.className = "message";
  said.setAttribute("role", "status");
  form.append(user, input, send, said);
  form.addEventListener("submit", guarded(async (event) => {
    event.preventDefault();
    const reply = await call("/api/teacher/reset-password", { player: player.no, password: input.value });
    if (reply.ok) input.value = "";
    said.textContent = reply.message || (reply.ok ? "再設定しました。" : "");
  }));
  return form;
}

// ---- 得点リセット ----

const resetPoints = guarded(async () => {
  if (!confirm("全員の通算得点を 0 に戻しますか？ 元には戻せません。")) return;
  const typed = prompt("本当にリセットするときは「リセット」と入力してください。");
  if (typed === null) return;
  if (typed.trim() !== "リセット") {
    $("points-message").textContent = "「リセット」と入力されなかったので、リセットしませんでした。";
    return;
  }
  const reply = await call("/api/teacher/reset-points", { confirm: "reset" });
  $("points-message").textContent = reply.message || "";
});

// ---- the sections and the sign-in ----

const loaders = { results: loadGames, students: loadStudents, missed: loadMissed, room: loadRoom, players: loadPlayers };

function currentPage() {
  const name = location.hash.slice(1);
  return pages.includes(name) ? name : "results";
}

const showPage = guarded(async (moveFocus) => {
  const page = currentPage();
  for (const name of pages) $(name).hidden = name !== page;
  for (const link of document.querySelectorAll(".tabs a")) {
    if (link.hash === `#${page}`) link.setAttribute("aria-current", "page");
    else link.removeAttribute("aria-current");
  }
  $("range").hidden = !rangePages.includes(page);
  $("range-message").hidden = $("range").hidden;
  if (moveFocus) $(`${page}-title`).focus();
  if (loaders[page]) await loaders[page]();
});

async function start() {
  const me = await fetch("/api/teacher/me").then((r) => r.json()).catch(() => ({ signed_in: false }));
  if (!me.signed_in) {
    showSignIn("");
    return;
  }
  $("signin").hidden = true;
  $("desk").hidden = false;
  $("signout").hidden = false;
  await showPage(false);
}

$("signin-form").addEventListener("submit", async (event) => {
  event.preventDefault();
  const reply = await fetch("/api/teacher/signin", {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ password: $("password").value }),
  }).then((r) => r.json()).catch(() => ({ ok: false, message: offlineMessage }));
  $("password").value = "";
  $("signin-message").textContent = reply.ok ? "" : reply.message;
  if (reply.ok) start();
});

$("signout").addEventListener("click", async () => {
  await fetch("/api/teacher/signout", { method: "POST" }).catch(() => null);
  showSignIn("サインアウトしました。");
});

$("range").addEventListener("submit", (event) => {
  event.preventDefault();
  $("game").hidden = true;
  shownGame = 0;
  showPage(false);
});
$("today").addEventListener("click", () => {
  $("from").value = today();
  $("to").value = today();
  $("range").requestSubmit();
});
for (const id of ["from", "to"]) $(id).addEventListener("change", rangeIsValid);
$("room-refresh").addEventListener("click", guarded(loadRoom));
$("room-clear").addEventListener("click", clearRoom);
$("points-reset").addEventListener("click", resetPoints);
window.addEventListener("hashchange", () => showPage(true));

$("from").value = today();
$("to").value = today();
rangeIsValid();
start();
