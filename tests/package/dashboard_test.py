#!/usr/bin/env python3
"""The devserver's dashboard in a real browser, as a developer opens it: headless Chromium
(Debian's package) loads http://127.0.0.1:PORT/ while the SDK (tilo-demo) sends its events
and buys its ads from the devserver's house campaigns, and must show the event the SDK just
sent, the auction it just made and the revenue it earned, print no console error, and show a
hostile value as text. Driven over the DevTools protocol with a small WebSocket client; writes
dashboard.png (TILO_UPDATE_DOCS=1 also copies it to docs/images).

  dashboard_test.py SOURCE_DIR BUILD_DIR      exit 77 (skipped) when chromium is missing
"""
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77
LIMIT_S = 60  # for each wait on the browser or a child; a hang fails instead of sticking
APP_KEY = "dashboard-test-app-key"
HOSTILE_UNIT = '<img src=x onerror="document.title=\'pwned\'">'


class DevTools:
    """Just enough WebSocket (RFC 6455, text frames) for the DevTools protocol."""

    def __init__(self, url):
        host, rest = url[len("ws://"):].split("/", 1)
        name, port = host.split(":")
        self.sock = socket.create_connection((name, int(port)), timeout=LIMIT_S)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /{rest} HTTP/1.1\r\nHost: {host}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self.sock.recv(1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError(f"no WebSocket upgrade: {head!r}")
        self.next_id = 0
        self.events = []

    def _read(self, count):
        data = b""
        while len(data) < count:
            chunk = self.sock.recv(count - len(data))
            if not chunk:
                raise RuntimeError("DevTools closed the connection")
            data += chunk
        return data

    def _receive(self):
        message = b""
        while True:
            first, second = self._read(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._read(8))[0]
            message += self._read(length)
            if first & 0x80:
                return json.loads(message)

    def call(self, method, **params):
        self.next_id += 1
        payload = json.dumps({"id": self.next_id, "method": method, "params": params}).encode()
        mask = os.urandom(4)
        header = bytes([0x81])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        elif len(payload) < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(payload))
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", len(payload))
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)
        while True:
            message = self._receive()
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            self.events.append(message)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        return result["result"].get("value")

    def wait_for(self, expression, what):
        deadline = time.monotonic() + LIMIT_S
        while time.monotonic() < deadline:
            if self.evaluate(expression):
                return
            self.call("Runtime.evaluate", expression="new Promise(r => setTimeout(r, 100))",
                      awaitPromise=True)
        raise AssertionError(f"the dashboard never showed {what}")

    def console_errors(self):
        errors = []
        for event in self.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.exceptionThrown":
                errors.append(params["exceptionDetails"].get("text", "exception"))
            elif method == "Runtime.consoleAPICalled" and params.get("type") == "error":
                errors.append(" ".join(str(a.get("value")) for a in params.get("args", [])))
            elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
                errors.append(params["entry"].get("text", ""))
        return errors


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, timeout=LIMIT_S * 2, **kwargs)
    if result.returncode != 0:
        raise AssertionError(f"{command[0]} exited {result.returncode}:\n{result.stdout}{result.stderr}")
    return result.stdout


def get_json(url):
    with urllib.request.urlopen(url, timeout=LIMIT_S) as response:
        return json.load(response)


def main():
    source_dir, build_dir = sys.argv[1], sys.argv[2]
    chromium = shutil.which("chromium")
    if not chromium:
        print("skipped: chromium is not installed (scripts/bootstrap test installs Debian's)")
        return SKIP
    work = tempfile.mkdtemp(prefix="tilo-dashboard-")
    children = []
    try:
        run([f"{build_dir}/tilo-keytool", "init", f"{work}/game", "--app-key", APP_KEY])
        server = subprocess.Popen(
            [f"{build_dir}/tilo-devserver", "--port", "0", "--app-key", APP_KEY, "--app-info",
             f"{work}/game/app-info.json", "--campaigns", f"{work}/game/campaigns.json", "--quiet"],
            stdout=subprocess.PIPE, text=True)
        children.append(server)
        line = server.stdout.readline()
        if "listening on " not in line:
            raise AssertionError(f"devserver said: {line!r}")
        base = line.split("listening on ")[1].strip()

        # The SDK sends its events; the newest stored one is what the page must show.
        run([f"{build_dir}/tilo-demo", "--bundle", f"{work}/game", "--container", f"{work}/app",
             "--api-base-url", base, "--formats", "banner,rewarded", "--unit", "banner=banner",
             "--unit", "rewarded=rewarded", "--dwell-ms", "0", "--log-level", "off",
             "--demand", f"{base}/openrtb2/auction"],
            env=dict(os.environ, TILO_DEMO_SKIP_IDLE="1"))
        stored = get_json(f"{base}/dev/events")["events"]
        assert stored, "the SDK's events did not reach the devserver"
        newest = stored[-1]["eventId"]
        auctions = get_json(f"{base}/dev/auctions?limit=1")["auctions"]
        assert auctions and auctions[0]["outcome"] == "bid", f"the SDK bought no ad: {auctions}"
        auction = auctions[0]["id"]
        earned = [row for row in get_json(f"{base}/dev/api/revenue")["rows"] if row["revenue"]]
        assert earned, "no revenue from the auctions won"
        revenue = f"{earned[0]['revenue']:.4f} USD"

        # A value that would run as HTML if the page ever wrote one as markup.
        hostile = {"sdkVersion": "1.1.44-beta", "mediationPlatform": "admob", "events": [{
            "eventId": "hostile-event", "eventType": "ad_click", "createdAt": 1767225600000,
            "sessionId": "<b>session</b>", "payload": {"adUnitId": HOSTILE_UNIT}}]}
        request = urllib.request.Request(f"{base}/analytics/events", method="POST",
                                         data=json.dumps(hostile).encode(),
                                         headers={"Tilo-App-Key": APP_KEY,
                                                  "Content-Type": "application/json"})
        urllib.request.urlopen(request, timeout=LIMIT_S).read()

        profile = f"{work}/profile"
        browser = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", f"--user-data-dir={profile}", "--remote-debugging-port=0",
             "--window-size=1280,1400", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        children.append(browser)
        port_file = f"{profile}/DevToolsActivePort"
        deadline = time.monotonic() + LIMIT_S
        while not (os.path.exists(port_file) and open(port_file).read().count("\n") >= 1):
            if time.monotonic() > deadline or browser.poll() is not None:
                raise AssertionError("chromium did not open its DevTools port")
            time.sleep(0.05)
        port = open(port_file).read().split("\n")[0]
        pages = [t for t in get_json(f"http://127.0.0.1:{port}/json/list") if t["type"] == "page"]
        tools = DevTools(pages[0]["webSocketDebuggerUrl"])
        for domain in ("Runtime", "Log", "Page"):
            tools.call(f"{domain}.enable")
        tools.call("Page.navigate", url=f"{base}/")

        tools.wait_for(f"!!document.querySelector('[data-event-id=\"{newest}\"]')",
                       f"the event the SDK just sent ({newest})")
        tools.wait_for("document.getElementById('requests').textContent.includes('/sdk/init')",
                       "the SDK's requests by endpoint")
        tools.wait_for(f"!!document.querySelector('#campaigns [data-auction-id=\"{auction}\"]')",
                       f"the auction the SDK just made ({auction})")
        tools.wait_for(f"document.getElementById('revenue').textContent.includes('{revenue}')",
                       f"the revenue of the auctions won ({revenue})")
        tools.wait_for("!!document.querySelector('[data-event-id=\"hostile-event\"]')",
                       "the hostile event")
        shown = tools.evaluate("document.body.innerText")
        assert HOSTILE_UNIT in shown, "the hostile unit id is not shown as text"
        assert tools.evaluate("document.querySelectorAll('img, b').length") == 0, \
            "a recorded value became markup"
        assert tools.evaluate("document.title") != "pwned", "a recorded value ran as script"
        # Updates without a reload: an event sent now appears on the open page.
        hostile["events"][0].update(eventId="later-event", payload={"adUnitId": "later-unit"})
        request.data = json.dumps(hostile).encode()
        urllib.request.urlopen(request, timeout=LIMIT_S).read()
        tools.wait_for("!!document.querySelector('[data-event-id=\"later-event\"]')",
                       "an event sent after it loaded")
        errors = tools.console_errors()
        assert not errors, f"console errors: {errors}"

        # The whole page, down to the campaigns.
        height = tools.evaluate("document.documentElement.scrollHeight")
        shot = base64.b64decode(tools.call(
            "Page.captureScreenshot", format="png", captureBeyondViewport=True,
            clip={"x": 0, "y": 0, "width": 1280, "height": height, "scale": 1})["data"])
        with open(f"{build_dir}/dashboard.png", "wb") as out:
            out.write(shot)
        if os.environ.get("TILO_UPDATE_DOCS") == "1":
            shutil.copy(f"{build_dir}/dashboard.png", f"{source_dir}/docs/images/dashboard.png")
        tools.call("Browser.close")
        print(f"dashboard showed {newest} with no console error; screenshot {build_dir}/dashboard.png")
        return 0
    finally:
        for child in children:
            if child.poll() is None:
                child.terminate()
                try:
                    child.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    child.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
