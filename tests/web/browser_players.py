#!/usr/bin/python3
"""Players in real browsers: headless Chromium sessions that sign in on quizgame-web's page and
play one game through it, as a student would, with the mouse or the keys 1 to 4.

  browser_players.py --url http://127.0.0.1:PORT/ --correct TEXT [--correct TEXT ...]
                     --player NAME:PASSWORD:TOKENS[:keys][:WIDTHxHEIGHT] [--player ...]
                     [--wait-members N] [--shots FOLDER] [--timeout SECONDS] [--probe-teacher]

TOKENS holds one token per question, comma separated: c (the button showing one of the
--correct texts), w (another one) or - (none). A player presses 準備ＯＫ once the lobby lists
--wait-members members. Each player prints what its page showed, one line per event:

  NAME answered Q button=K
  NAME judged Q TEXT          the judgement line of question Q
  NAME result TEXT winners=W  the final line and the winners the page lists

With --probe-teacher each player then tries the teacher's side with its own session:

  NAME teacher-api STATUS                  the status of /api/teacher/players
  NAME projector-ws messages=N closed=CODE what a socket to /projector/ws got before it closed
  NAME projector-page signin=B room=B      which part of /projector the page shows

With --shots each player saves its page as FOLDER/WIDTHxHEIGHT-STAGE.png for the stages lobby,
question (question 1 with its answer chosen), judged (question 1 judged) and result. Exits 1
when a player could not finish its game.
"""
import argparse
import os
import re
import shutil
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

# Every change of the progress line and the question box, as the page made it. Judgements and
# the final result stand for a moment only, so the page keeps them for the script to read.
RECORDER = """
window.quizSeen = [];
const progress = document.getElementById("progress");
const question = document.getElementById("question");
const note = () => window.quizSeen.push([progress.textContent, question.textContent]);
for (const element of [progress, question])
  new MutationObserver(note).observe(element, {childList: true, characterData: true, subtree: true});
"""

# What the script needs of the page in one round trip.
LOOK = """
const seen = window.quizSeen.splice(0);
const buttons = Array.from(document.querySelectorAll("#choices button"));
const ready = document.getElementById("ready");
return {
  seen: seen,
  progress: document.getElementById("progress").textContent,
  members: document.querySelectorAll("#members li").length,
  ready: !ready.hidden && !ready.disabled,
  choices: buttons.map((b) => [b.querySelector(".text").textContent, !b.disabled, b.classList.contains("chosen")]),
};
"""

# A player's session asks for the teacher's list and the projector's socket.
PROBE = """
const done = arguments[arguments.length - 1];
(async () => {
  const api = (await fetch("/api/teacher/players")).status;
  const socket = new WebSocket(`ws://${location.host}/projector/ws`);
  let messages = 0;
  socket.onmessage = () => { messages += 1; };
  socket.onclose = (event) => done([api, messages, event.code]);
})().catch((error) => done([String(error), 0, 0]));
"""

QUESTION = re.compile(r"^第 (\d+) 問")
JUDGED = re.compile(r"^第 (\d+) 問の正解者：")
RESULT = "最高得点："

output_lock = threading.Lock()


def say(line):
    with output_lock:
        print(line, flush=True)


def open_browser(width, height, profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in [
        "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
        f"--user-data-dir={profile}", f"--window-size={width},{height}", "--lang=ja",
        # Nothing but the gateway on loopback: no updates, reports, lookups or suggestions, and
        # a proxy that does not exist for every other address.
        "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
        "--disable-component-update", "--disable-sync", "--disable-default-apps", "--disable-extensions",
        "--disable-domain-reliability", "--disable-client-side-phishing-detection", "--no-pings",
        "--metrics-recording-only", "--dns-prefetch-disable",
        "--disable-features=OptimizationHints,MediaRouter,Translate,AutofillServerCommunication",
        "--proxy-server=socks5://127.0.0.1:9",
    ]:
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"), options=options)
    # The page's own size, as a device of that size shows it (a phone with its viewport rules).
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})
    return driver


class Player:
    def __init__(self, given, args):
        parts = given.split(":")
        if len(parts) < 3:
            raise SystemExit(f"--player {given}: NAME:PASSWORD:TOKENS[:keys][:WIDTHxHEIGHT]")
        self.name, self.password, tokens = parts[0], parts[1], parts[2]
        self.tokens = tokens.split(",")
        self.keys = "keys" in parts[3:]
        self.size = (1366, 768)
        for part in parts[3:]:
            if re.fullmatch(r"\d+x\d+", part):
                self.size = tuple(int(n) for n in part.split("x"))
        self.args = args
        self.correct = set(args.correct)
        self.failure = None
        self.finished = False

    def shot(self, driver, stage):
        if not self.args.shots:
            return
        path = os.path.join(self.args.shots, f"{self.size[0]}x{self.size[1]}-{stage}.png")
        driver.save_screenshot(path)

    def choose(self, q, choices):
        token = self.tokens[q - 1] if q - 1 < len(self.tokens) else "-"
        for k, (text, enabled, _) in enumerate(choices, start=1):
            if enabled and text and (text in self.correct) == (token == "c") and token in ("c", "w"):
                return k
        return 0

    def run(self):
        profile = tempfile.mkdtemp(prefix="quiz-browser-")
        driver = None
        try:
            driver = open_browser(*self.size, profile)
            self.play(driver)
        except Exception as error:  # reported with the player's name; the others play on
            self.failure = f"{type(error).__name__}: {error}"
        finally:
            if driver:
                driver.quit()
            shutil.rmtree(profile, ignore_errors=True)

    def play(self, driver):
        driver.get(self.args.url)
        wait(lambda: driver.find_element(By.ID, "name").is_displayed(), "the sign-in form")
        driver.find_element(By.ID, "name").send_keys(self.name)
        driver.find_element(By.ID, "password").send_keys(self.password)
        driver.find_element(By.ID, "signin-button").click()
        wait(lambda: driver.find_element(By.ID, "game").is_displayed(), "the game after signing in")
        driver.execute_script(RECORDER)

        answered = set()
        shots = set()
        deadline = time.monotonic() + self.args.timeout
        while time.monotonic() < deadline:
            look = driver.execute_script(LOOK)
            for progress, question in look["seen"]:
                judged = JUDGED.match(progress)
                if judged:
                    say(f"{self.name} judged {judged.group(1)} {progress}")
                    if judged.group(1) == "1" and "judged" not in shots:
                        self.shot(driver, "judged")
                        shots.add("judged")
                if progress.startswith(RESULT):
                    say(f"{self.name} result {progress} winners={question}")
                    self.shot(driver, "result")
                    if self.args.probe_teacher:
                        self.probe_teacher(driver)
                    self.finished = True
                    return
            if look["ready"] and look["members"] >= self.args.wait_members:
                if "lobby" not in shots:
                    self.shot(driver, "lobby")
                    shots.add("lobby")
                driver.find_element(By.ID, "ready").click()
            question = QUESTION.match(look["progress"])
            if question and int(question.group(1)) not in answered:
                q = int(question.group(1))
                k = self.choose(q, look["choices"])
                if k:
                    if self.keys:
                        driver.find_element(By.TAG_NAME, "body").send_keys(str(k))
                    else:
                        driver.find_element(By.CSS_SELECTOR, f'#choices button[data-button="{k}"]').click()
                    answered.add(q)
                    say(f"{self.name} answered {q} button={k}")
                    if q == 1 and self.args.shots:
                        wait(lambda: "chosen" in driver.find_element(
                            By.CSS_SELECTOR, f'#choices button[data-button="{k}"]').get_attribute("class"),
                            "the chosen answer")
                        self.shot(driver, "question")
                elif self.tokens[q - 1:q] in (["-"], []):
                    answered.add(q)
            time.sleep(0.02)
        raise TimeoutError(f"no final result within {self.args.timeout} s; the page shows {look['progress']!r}")

    def probe_teacher(self, driver):
        driver.set_script_timeout(20)
        api, messages, code = driver.execute_async_script(PROBE)
        say(f"{self.name} teacher-api {api}")
        say(f"{self.name} projector-ws messages={messages} closed={code}")
        driver.get(self.args.url + "projector")
        shown = lambda part: driver.find_element(By.ID, part).is_displayed()  # noqa: E731
        wait(lambda: shown("signin") or shown("room"), "the projector page")
        say(f"{self.name} projector-page signin={shown('signin')} room={shown('room')}")


def wait(condition, what, seconds=20):
    """Waits until condition() holds (a page's element may be missing meanwhile)."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            if condition():
                return
        except Exception:
            pass
        time.sleep(0.05)
    raise TimeoutError(f"{what} did not come")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--url", required=True)
    parser.add_argument("--player", action="append", required=True)
    parser.add_argument("--correct", action="append", default=[])
    parser.add_argument("--wait-members", type=int, default=1)
    parser.add_argument("--shots")
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("--probe-teacher", action="store_true")
    args = parser.parse_args()
    if not re.match(r"^http://127\.0\.0\.1:\d+/", args.url):
        raise SystemExit("--url: the gateway on 127.0.0.1 only")
    sys.stdout.reconfigure(encoding="utf-8")
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)
    players = [Player(given, args) for given in args.player]
    threads = [threading.Thread(target=player.run) for player in players]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for player in players:
        if not player.finished:
            print(f"{player.name}: {player.failure or 'did not finish'}", file=sys.stderr, flush=True)
    return 0 if all(player.finished for player in players) else 1


if __name__ == "__main__":
    sys.exit(main())
