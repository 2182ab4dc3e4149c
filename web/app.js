// The player's page: sign-in, then the game as the gateway describes it. Every text from the
// server goes in with textContent; the page decides nothing about the game itself.
"use strict";

const $ = (id) => document.getElementById(id);
const choiceButtons = Array.from(document.querySelectorAll("#choices button"));
const markWords = { "－": "未準備", "○": "準備ＯＫ", "×": "ゲーム中" };
let socket = null;
let signedIn = false;
let retryMs = 1000;
let view = { can_answer: false, can_ready: false, choices: ["", "", "", ""], chosen: 0, correct: 0 };

function show(section) {
  $("signin").hidden = section !== "signin";
  $("game").hidden = section !== "game";
}

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
}

function fillList(list, items, line) {
  list.replaceChildren(...items.map((item) => {
    const li = document.createElement("li");
    li.textContent = line(item);
    return li;
  }));
}

function paintChoices() {
  choiceButtons.forEach((button, index) => {
    const k = index + 1;
    const text = view.choices[index] || "";
    button.querySelector(".text").textContent = text;
    const tags = [];
    if (view.correct === k) tags.push("正解");
    if (view.chosen === k) tags.push("あなたの答え");
    button.querySelector(".tag").textContent = tags.join("・");
    button.classList.toggle("correct", view.correct === k);
    button.classList.toggle("chosen", view.chosen === k);
    button.classList.toggle("other", view.chosen !== 0 && view.chosen !== k && view.correct !== k);
    button.disabled = !view.can_answer || text === "";
    button.setAttribute("aria-label", `${k}番 ${text} ${tags.join(" ")}`.trim());
  });
}

function apply(message) {
  if (message.type === "notice") {
    $("notice").textContent = message.text || (message.left ? "ゲームを抜けました。" : "");
    if (message.left) {
      $("join").hidden = false;
      $("ready").hidden = true;
    }
    return;
  }
  if (message.type !== "view") return;
  if ("player" in message) $("player").textContent = message.player;
  if ("progress" in message) $("progress").textContent = message.progress;
  if ("question" in message) $("question").textContent = message.question;
  // At the end the box lists the top scorers. While the text is still being revealed (it ends
  // in "◆" once whole) a screen reader waits for it instead of reading every character.
  $("question-title").textContent = message.state === "result" ? "最高得点の人" : "問題";
  $("question").setAttribute("aria-busy", String(message.state === "question" && !$("question").textContent.endsWith("◆")));
  for (const key of ["choices", "chosen", "correct", "can_answer", "can_ready"])
    if (key in message) view[key] = message[key];
  if ("members" in message)
    fillList($("members"), message.members, (m) =>
      "points" in m ? `${m.name}　${m.points} 問正解` : `${m.name} ${m.mark}（${markWords[m.mark] || ""}）`);
  if ("answers" in message)
    fillList($("answers"), message.answers, (a) => `${a.name}：${"①②③④"[a.button - 1] || a.button}`);
  $("ready").disabled = !view.can_ready;
  if (message.state !== "left") {
    $("join").hidden = true;
    $("ready").hidden = false;
  }
  if (message.state === "lobby" && "progress" in message && message.progress === "") $("notice").textContent = "";
  paintChoices();
}

function connect() {
  socket = new WebSocket(`ws://${location.host}/ws`);
  socket.onopen = () => { retryMs = 1000; $("notice").textContent = ""; };
  socket.onmessage = (event) => {
    try { apply(JSON.parse(event.data)); } catch (error) { /* a message this page cannot read is left alone */ }
  };
  socket.onclose = (event) => {
    socket = null;
    if (!signedIn) return;
    if (event.reason === "signed in elsewhere" || event.code === 1008) {
      signedIn = false;
      show("signin");
      $("signin-message").textContent = "ほかの画面でサインインしたため、ここでは終了しました。";
      return;
    }
    $("notice").textContent = "サーバーとの接続が切れました。つなぎ直しています…";
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 5000);
  };
}

async function post(path, body) {
  const response = await fetch(path, {
    method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body || {}),
    credentials: "same-origin",
  });
  return response.json().catch(() => ({ ok: false, message: "サーバーが応えませんでした。" }));
}

async function start() {
  const me = await fetch("/api/me", { credentials: "same-origin" }).then((r) => r.json()).catch(() => ({}));
  signedIn = !!me.signed_in;
  if (signedIn) {
    show("game");
    connect();
  } else {
    show("signin");
    $("name").focus();
  }
}

$("signin-form").addEventListener("submit", async (event) => {
  event.preventDefault();
  $("signin-button").disabled = true;
  const result = await post("/api/signin", { name: $("name").value, password: $("password").value });
  $("signin-button").disabled = false;
  $("signin-message").textContent = result.message || "";
  if (!result.ok) return;
  $("password").value = "";
  signedIn = true;
  show("game");
  $("notice").textContent = result.message || "";
  connect();
});

choiceButtons.forEach((button) =>
  button.addEventListener("click", () => send({ type: "answer", button: Number(button.dataset.button) })));
$("ready").addEventListener("click", () => send({ type: "ready" }));
$("join").addEventListener("click", () => { $("notice").textContent = ""; send({ type: "join" }); });
$("leave").addEventListener("click", () => send({ type: "leave" }));
$("signout").addEventListener("click", async () => {
  signedIn = false;
  if (socket) socket.close();
  await post("/api/signout");
  show("signin");
});
document.addEventListener("keydown", (event) => {
  if ($("game").hidden || event.repeat || event.ctrlKey || event.altKey || event.metaKey) return;
  const k = "1234".indexOf(event.key) + 1;
  if (k > 0 && view.can_answer) send({ type: "answer", button: k });
});

start();
