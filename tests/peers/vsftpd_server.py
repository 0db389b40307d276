#!/usr/bin/python3
"""vsftpd for integration tests: a temporary system user and configuration,
listening on 127.0.0.1 only. Needs root (it adds and removes the user).

Usage: vsftpd_server.py --root DIR --port P --user U --password W
                        --passive-low L --passive-high H [--rate BYTES_PER_S]

SIGUSR1 kills every session process (control and data connections drop at
once, the listener stays); SIGTERM kills vsftpd outright, as a crash would,
and removes the user.
"""
import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time


def sessions(listener):
    """Every descendant of the listener (a session is a process and its
    unprivileged child)."""
    parent = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                parent[int(entry)] = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            pass
    found, frontier = [], [listener]
    while frontier:
        pid = frontier.pop()
        children = [child for child, up in parent.items() if up == pid]
        found.extend(children)
        frontier.extend(children)
    return found


def main():
    parser = argparse.ArgumentParser()
    for name in ("--root", "--user", "--password"):
        parser.add_argument(name, required=True)
    for name in ("--port", "--passive-low", "--passive-high"):
        parser.add_argument(name, type=int, required=True)
    parser.add_argument("--rate", type=int, default=0)  # bytes per second, 0: no limit
    args, _ = parser.parse_known_args()

    subprocess.run(["userdel", args.user], capture_output=True)
    made = subprocess.run(["useradd", "-M", "-d", args.root, "-s", "/bin/sh", args.user], capture_output=True)
    if made.returncode != 0:
        sys.stderr.write("useradd failed: %s\n" % made.stderr.decode(errors="replace"))
        return 1
    subprocess.run(["chpasswd"], input=f"{args.user}:{args.password}\n".encode(), check=True)
    for folder, _, files in os.walk(args.root):
        os.chown(folder, *uid_gid(args.user))
        for name in files:
            os.chown(os.path.join(folder, name), *uid_gid(args.user))
    path = os.path.abspath(args.root)
    while path != "/":  # every parent must let the user through
        os.chmod(path, os.stat(path).st_mode | 0o011)
        path = os.path.dirname(path)
    os.makedirs("/var/run/vsftpd/empty", exist_ok=True)
    work = tempfile.mkdtemp(prefix="vsftpd-test-")
    config = os.path.join(work, "vsftpd.conf")
    with open(config, "w") as f:
        f.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1", f"listen_port={args.port}",
            "background=NO", "anonymous_enable=NO", "local_enable=YES", "write_enable=YES", "utf8_filesystem=YES",
            "local_umask=022", f"local_root={args.root}", "chroot_local_user=NO",
            "pasv_enable=YES", f"pasv_min_port={args.passive_low}", f"pasv_max_port={args.passive_high}",
            "pasv_address=127.0.0.1", "seccomp_sandbox=NO", "isolate=NO", "isolate_network=NO",
            "pam_service_name=vsftpd", "userlist_enable=NO", "check_shell=NO", "xferlog_enable=NO",
            "dirmessage_enable=NO", "secure_chroot_dir=/var/run/vsftpd/empty", "max_clients=64",
            "max_per_ip=64", "delay_failed_login=0", "delay_successful_login=0",
            f"local_max_rate={args.rate}", ""]))
    os.chmod(config, 0o600)
    vsftpd = subprocess.Popen(["/usr/sbin/vsftpd", config], start_new_session=True,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def cut(signum, frame):
        for pid in sessions(vsftpd.pid):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass

    def stop(signum, frame):
        try:
            os.killpg(vsftpd.pid, signal.SIGKILL)
        except OSError:
            pass
        vsftpd.wait()
        time.sleep(0.1)
        subprocess.run(["userdel", args.user], capture_output=True)
        sys.exit(0)

    signal.signal(signal.SIGUSR1, cut)
    signal.signal(signal.SIGTERM, stop)
    while vsftpd.poll() is None:
        time.sleep(0.2)
    subprocess.run(["userdel", args.user], capture_output=True)
    return 1


def uid_gid(user):
    import pwd
    entry = pwd.getpwnam(user)
    return entry.pw_uid, entry.pw_gid


if __name__ == "__main__":
    sys.exit(main())
