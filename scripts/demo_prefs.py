"""Writes or updates the demo's preference file: a "Demo server" entry on
127.0.0.1 with the given port, selected at start. Other keys (the queue, the
language) are kept."""
import sys

path, port = sys.argv[1], sys.argv[2]
wanted = {
    "ServerName1": "Demo server",
    "ServerAdress1": "127.0.0.1",
    "ServerLogin1": "demo",
    "ServerPassword1": "demo",
    "ServerPort1": port,
    "CurrentServer": "Demo server",
}
lines = []
try:
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    lines = [l for l in data.decode("utf-8", "replace").replace("\r", "\n").split("\n") if l.strip()]
except FileNotFoundError:
    lines = ["Langue$ = English"]
seen = set()
out = []
for line in lines:
    key = line.split("=", 1)[0].strip()
    if key in wanted:
        if key == "ServerPassword1" and key not in seen and "ServerPassword1" in [l.split("=", 1)[0].strip() for l in lines]:
            out.append(line)  # keep the stored (scrambled) password
        else:
            out.append(f"{key} = {wanted[key]}")
        seen.add(key)
    else:
        out.append(line)
for key, value in wanted.items():
    if key not in seen:
        out.insert(0, f"{key} = {value}")
with open(path, "wb") as f:
    f.write(b"\xef\xbb\xbf" + "".join(l + "\r\n" for l in out).encode("utf-8"))
