#!/usr/bin/python3
"""The classroom's screen in a real browser: a headless Chromium session signs in on quizgame-web's
/projector page with the teacher's password, watches one whole game and then, still as the
teacher, fetches the game's CSV export.

  projector_view.py --url http://127.0.0.1:PORT/ --password PASSWORD [--shots FOLDER] [--timeout SECONDS]

It prints, one line per fact:

  projector watching             signed in; the room's view has come
  projector members N            the largest number of members the lobby listed
  projector most-awaited N       the most members a question awaited ("回答 a / N")
  projector judged Q TEXT | QUESTION  each judgement line the screen showed, with the question
  projector result TEXT          the final line
  projector class-total POINTS   the class's points the final result showed last
  projector early-correct N      times a question not yet judged had a choice marked correct
  projector csv-game ID STATUS   the newest recorded game and the export's HTTP status
  projector csv-crlf yes|no      whether every line of the export ends with CR LF
  projector csv CELLS            each row of the export (CP932), cells joined by tabs

With --shots it saves the page as FOLDER/projector-WIDTHxHEIGHT-STAGE.png at 1280x720 and
1920x1080 for the stages lobby, question, judged and result. Exits 1 when it did not see the
game's end.
"""
import argparse
import csv
import io
import os
import re
import shutil
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_players import open_browser, wait  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

# Every distinct state of the screen, and every moment a question not yet judged showed a
# choice marked correct: the observer runs after each change the page made, so nothing that
# stood for a moment only is missed.
RECORDER = """
window.projSeen = [];
window.projEarly = [];
const ids = ["stage", "outcome", "question", "answered", "choices", "members"];
const [stage, outcome, question, answered, choices, members] = ids.map((id) => document.getElementById(id));
let last = "";
window.projNow = () => [stage.textContent, outcome.textContent, question.textContent, answered.textContent,
                        members.hidden ? 0 : members.querySelectorAll("li").length];
const note = () => {
  const state = window.projNow();
  const q = /^第 (\\d+) 問$/.exec(state[0]);
  const marked = choices.querySelector("li.correct");
  if (q && marked && !state[1].startsWith(`第 ${q[1]} 問の正解：`)) window.projEarly.push(state.concat(marked.textContent));
  const key = JSON.stringify(state);
  if (key !== last) { last = key; window.projSeen.push(state); }
};
for (const element of ids.map((id) => document.getElementById(id)))
  new MutationObserver(note).observe(element, {childList: true, characterData: true, subtree: true, attributes: true});
note();
"""

# Put in before the page's own script: while window.projHold is set, the views the socket brings
# wait, in order, so that one state of the screen can be shot at both sizes. The final result,
# which stands for a moment only, holds the screen by itself the first time it comes.
HOLD = """
window.projHold = false;
const held = [];
// One view a task, so that the page's observers see each.
window.projHeld = () => held.length;
window.projFinalViews = 0;
window.projRelease = () => {
  if (window.projHold || held.length === 0) return;
  held.shift()();
  setTimeout(window.projRelease, 0);
};
const NativeSocket = window.WebSocket;
window.WebSocket = function (url) {
  const socket = new NativeSocket(url);
  let handler = null;
  Object.defineProperty(socket, "onmessage", {set: (f) => { handler = f; }, get: () => handler});
  socket.addEventListener("message", (event) => {
    if (JSON.parse(event.data).stage === "final") window.projFinalViews += 1;
    held.push(() => {
      if (handler) handler.call(socket, event);
      if (JSON.parse(event.data).stage === "final" && !window.projHeldFinal) window.projHold = window.projHeldFinal = true;
    });
    window.projRelease();
  });
  return socket;
};
"""

EXPORT = """
const done = arguments[arguments.length - 1];
(async () => {
  const games = await fetch("/api/teacher/games").then((r) => r.json());
  const id = Math.max(0, ...games.games.map((g) => g.id));
  const reply = await fetch(`/api/teacher/export.csv?game=${id}`);
  const bytes = Array.from(new Uint8Array(await reply.arrayBuffer()));
  done({id: id, status: reply.status, bytes: bytes});
})().catch((error) => done({error: String(error)}));
"""

SIZES = [(1280, 720), (1920, 1080)]
JUDGED = re.compile(r"^第 (\d+) 問の正解：")
OF = re.compile(r"^回答 \d+ / (\d+)$")


def stage_of(state):
    """The shot stage a screen state stands for, or None."""
    text, outcome, question, _, members = state
    if text.startswith("最高得点："):
        return "result"
    if JUDGED.match(outcome):
        return "judged"
    if re.match(r"^第 \d+ 問$", text) and len(question) > 4:
        return "question"
    if text.startswith("まもなくゲームスタートです") and members > 0:
        return "lobby"
    return None


def watch(driver, args):
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": HOLD})
    driver.get(args.url + "projector")
    wait(lambda: driver.find_element(By.ID, "password").is_displayed(), "the sign-in form")
    driver.find_element(By.ID, "password").send_keys(args.password)
    driver.find_element(By.CSS_SELECTOR, "#signin-form button").click()
    wait(lambda: driver.find_element(By.ID, "stage").text != "", "the room's view")
    driver.execute_script(RECORDER)
    print("projector watching", flush=True)

    members, of, judged, early, finals = [0], set(), {}, [], []
    shots = set()

    def take_seen():
        seen, new_early = driver.execute_script("return [window.projSeen.splice(0), window.projEarly.splice(0)];")
        early.extend(new_early)
        for state in seen:
            members[0] = max(members[0], state[4])
            if OF.match(state[3]):
                of.add(int(OF.match(state[3]).group(1)))
            if state[0].startswith("最高得点：") and state[:2] not in finals:
                finals.append(state[:2])
            if JUDGED.match(state[1]) and state[1] not in judged:
                judged[state[1]] = (JUDGED.match(state[1]).group(1), state[2])

    deadline = time.monotonic() + args.timeout
    final_since = None
    while time.monotonic() < deadline:
        take_seen()
        current = driver.execute_script("window.projHold = true; return window.projNow();")
        shoot(driver, args, current, shots)
        # The final result until the room moves on, for 10 s at most: the winners' points come in meanwhile.
        if finals and not final_since:
            final_since = time.monotonic()
        if finals and (not current[0].startswith("最高得点：") or time.monotonic() - final_since > 10):
            members = members[0]
            print(f"projector members {members}", flush=True)
            print(f"projector most-awaited {max(of, default=0)}", flush=True)
            for text, (q, question) in judged.items():
                print(f"projector judged {q} {text} | {question}", flush=True)
            print(f"projector result {finals[0][0]}", flush=True)
            total = re.search(r"クラスの合計：(\S+) 点", finals[-1][1])
            print(f"projector class-total {total.group(1) if total else None}", flush=True)
            print(f"projector early-correct {len(early)}", flush=True)
            for state in early:
                print(f"projector early {state}", flush=True)
            return True
        driver.execute_script("window.projHold = false; window.projRelease();")
        time.sleep(0.02)
    look = driver.execute_script("return [window.projNow(), window.projHold, window.projHeld(), window.projFinalViews];")
    print(f"projector: no final result within {args.timeout} s; the screen shows {look[0]}, held {look[1]} with {look[2]}"
          f" views waiting; {look[3]} final views came; judged {sorted(int(q) for q, _ in judged.values())}",
          file=sys.stderr, flush=True)
    return False


def shoot(driver, args, current, shots):
    """The screen, held, at each size once per stage."""
    stage = stage_of(current)
    for width, height in SIZES:
        if not args.shots or stage is None or (width, height, stage) in shots:
            continue
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})
        driver.save_screenshot(os.path.join(args.shots, f"projector-{width}x{height}-{stage}.png"))
        shots.add((width, height, stage))


def export(driver):
    reply = driver.execute_async_script(EXPORT)
    if "error" in reply:
        raise RuntimeError(reply["error"])
    data = bytes(reply["bytes"])
    print(f"projector csv-game {reply['id']} {reply['status']}", flush=True)
    crlf = data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n") == data.count(b"\r")
    print(f"projector csv-crlf {'yes' if crlf else 'no'}", flush=True)
    for row in csv.reader(io.StringIO(data.decode("cp932"), newline="")):
        print("projector csv " + "\t".join(row), flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--url", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--shots")
    parser.add_argument("--timeout", type=float, default=150)
    args = parser.parse_args()
    if not re.match(r"^http://127\.0\.0\.1:\d+/", args.url):
        raise SystemExit("--url: the gateway on 127.0.0.1 only")
    sys.stdout.reconfigure(encoding="utf-8")
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)
    profile = tempfile.mkdtemp(prefix="quiz-projector-")
    driver = None
    try:
        driver = open_browser(*SIZES[0], profile)
        if not watch(driver, args):
            return 1
        export(driver)
        return 0
    finally:
        if driver:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
