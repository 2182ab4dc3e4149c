// The classroom's screen: shows what the gateway's watch of the room says, and sends nothing.
// Every text goes in as text (textContent), never as markup.
"use strict";

const $ = (id) => document.getElementById(id);
const marks = ["①", "②", "③", "④"];

function fill(list, items, make) {
  list.replaceChildren(...items.map((item) => {
    const li = document.createElement("li");
    make(li, item);
    return li;
  }));
}

// The standings as table rows; equal scores share their place.
function fillStandings(rows) {
  const withTotals = rows.some((row) => row.total !== undefined);
  $("total-head").hidden = !withTotals;
  $("standings-rows").replaceChildren(...rows.map((row, i) => {
    const place = rows.findIndex((other) => other.score === row.score) + 1;
    const tr = document.createElement("tr");
    const cells = [`${place}位`, row.name, `${row.score}`].concat(withTotals ? [`${row.total} 点`] : []);
    for (const text of cells) {
      const td = document.createElement("td");
      td.textContent = text;
      tr.append(td);
    }
    return tr;
  }));
}

function show(view) {
  const stage = view.stage;
  const q = view.question_no;
  let stageText = "";
  let outcome = "";
  if (stage === "none") stageText = "まだ誰も部屋にいません";
  else if (stage === "lost") stageText = "データベースに再接続中…";
  else if (stage === "lobby") {
    stageText = view.countdown !== undefined ? `まもなくゲームスタートです … ${view.countdown}` : "参加を待っています";
    if (view.not_ready && view.not_ready.length > 0) outcome = `準備ＯＫ待ち：${view.not_ready.join("、")}`;
  } else if (stage === "question" || stage === "shown") stageText = `第 ${q} 問`;
  else if (stage === "final") stageText = `最高得点：${view.top}`;

  if (stage === "shown" && view.correct) {
    outcome = `第 ${q} 問の正解：${marks[view.correct - 1]} ${view.choices[view.correct - 1]}　正解者：${view.winner || "無し"}`;
  }
  if (stage === "final") outcome = `最高得点の人：${(view.winners || []).join("、") || "無し"}　クラスの合計：${view.class_total} 点`;
  const last = view.last_result;
  if (stage === "lobby" && last && outcome === "") {
    outcome = `前のゲームの最高得点：${last.top}（${(last.winners || []).join("、") || "無し"}）`;
  }

  $("stage").textContent = stageText;
  $("answered").textContent = view.of !== undefined && stage === "question" ? `回答 ${view.answered} / ${view.of}` : "";
  $("question").hidden = view.text === undefined;
  $("question").textContent = view.text !== undefined ? view.text + (view.revealing ? "" : "◆") : "";
  $("question").setAttribute("aria-busy", view.revealing ? "true" : "false");
  fill($("choices"), (view.choices || []).map((text, i) => ({ text, i })), (li, c) => {
    li.textContent = `${marks[c.i]} ${c.text}`;
    li.classList.toggle("correct", view.correct === c.i + 1);
  });
  $("outcome").textContent = outcome;
  $("waiting").textContent = view.waiting ? `待っています：${view.waiting.join("、")}` : "";

  const standings = view.standings || (stage === "lobby" && last ? last.standings : null);
  $("standings").hidden = !standings;
  $("members").hidden = !!standings;
  if (standings) {
    $("list-title").textContent = stage === "lobby" ? "前のゲームの順位" : "順位（このゲームの正解数）";
    fillStandings(standings);
  } else {
    $("list-title").textContent = "参加メンバー";
    fill($("members"), view.members || [], (li, m) => { li.textContent = `${m.name}　${m.mark}`; });
  }
  const answers = view.answers || [];
  $("answers-box").hidden = answers.length === 0;
  fill($("answers"), answers, (li, a) => { li.textContent = `${a.name}：${marks[a.button - 1] || "－"}`; });
}

function connect() {
  const socket = new WebSocket(`ws://${location.host}/projector/ws`);
  socket.onmessage = (event) => {
    const view = JSON.parse(event.data);
    if (view.type === "projector") show(view);
  };
  socket.onclose = () => {
    $("stage").textContent = "接続が切れました。再接続中";
    setTimeout(start, 3000);
  };
}

async function start() {
  const me = await fetch("/api/teacher/me").then((r) => r.json()).catch(() => ({ signed_in: false }));
  $("signin").hidden = me.signed_in;
  $("room").hidden = !me.signed_in;
  if (me.signed_in) connect();
  else $("password").focus();
}

$("signin-form").addEventListener("submit", async (event) => {
  event.preventDefault();
  const reply = await fetch("/api/teacher/signin", {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ password: $("password").value }),
  }).then((r) => r.json()).catch(() => ({ ok: false, message: "サーバーに接続できません" }));
  $("password").value = "";
  $("signin-message").textContent = reply.ok ? "" : reply.message;
  if (reply.ok) start();
});

start();
