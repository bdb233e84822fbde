# The root key roll as BIND 9.16 on Windows meets it, on loopback: a root zone
# of our own, signed as the real one has been since its key roll, with two
# key-signing keys published, OLD and NEW, the DNSKEY set signed by NEW only,
# and a signed "test." with one signed name; an authoritative named serves
# both on ADDRESS port 53, and HINTS point at it. named's default trust anchor
# is OLD alone (/etc/bind/bind.keys bind-mounted over), as 9.16's built-in
# key is the old one. Needs root, in a mount and network namespace of the
# caller's own (tests/bind/real_bind.py enters them).
import os
import subprocess
import time

ADDRESS = "127.53.0.1"
SIGNED = "www.test."  # A 192.0.2.1
HINTS = f". 3600000 NS a.root-servers.\na.root-servers. 3600000 A {ADDRESS}\n".encode()
BIND_KEYS = "/etc/bind/bind.keys"


class FakeRoot:
    def __init__(self, work):
        self.folder = os.path.join(work, "fake-root")
        os.makedirs(self.folder)
        self.old, self.new = (self.keygen(".", "-f", "KSK") for _ in range(2))
        zsk, tld = self.keygen("."), self.keygen("test.", "-f", "KSK")
        self.zone("test.", f"@ NS ns.test.\nns A {ADDRESS}\nwww A 192.0.2.1\n", [tld], tld, "-z")
        # OLD is published but signs nothing: only NEW's private key is there.
        os.rename(self.file(self.old, ".private"), self.file(self.old, ".withheld"))
        self.zone(".", f". NS a.root-servers.\na.root-servers. A {ADDRESS}\ntest. NS ns.test.\nns.test. A {ADDRESS}\n"
                  "$INCLUDE dsset-test.\n", [self.old, self.new, zsk], zsk, "-x", "-k", self.file(self.new, ".key"))
        self.write("bind.keys", f"trust-anchors {{\n\t{self.anchor(self.old)}\n}};\n")
        self.write("named.conf", f'options {{ directory "{self.folder}"; listen-on {{ {ADDRESS}; }}; '
                   'listen-on-v6 { none; }; recursion no; dnssec-validation no; notify no; pid-file none; };\n'
                   'controls { };\n'  # port 953 is the resolver's
                   'zone "." { type primary; file "root.signed"; };\nzone "test." { type primary; file "test.signed"; };\n')

    def write(self, name, text):
        with open(os.path.join(self.folder, name), "w", encoding="ascii") as f:
            f.write(text)

    def keygen(self, zone, *flags):
        """(file name, algorithm, base64) of a new key of `zone`."""
        name = subprocess.run(["dnssec-keygen", "-q", "-K", self.folder, "-a", "RSASHA256", "-b", "1024", *flags,
                               "-n", "ZONE", zone], check=True, capture_output=True, text=True).stdout.strip()
        with open(self.file((name,), ".key"), encoding="ascii") as f:
            fields = next(line for line in f if not line.startswith(";")).split()
        return name, fields[5], "".join(fields[6:])

    def file(self, key, suffix):
        return os.path.join(self.folder, key[0] + suffix)

    def zone(self, origin, records, published, zsk, *options):
        """Writes zone `origin` with its `published` keys and signs it."""
        name = origin.strip(".") or "root"
        self.write(name + ".zone", f"$TTL 3600\n@ SOA ns. hostmaster. 1 3600 600 86400 3600\n{records}" +
                   "".join(f"$INCLUDE {self.file(key, '.key')}\n" for key in published))
        subprocess.run(["dnssec-signzone", "-q", "-K", self.folder, "-d", self.folder, *options, "-o", origin, "-f",
                        name + ".signed", name + ".zone", self.file(zsk, ".key")], check=True, cwd=self.folder,
                       capture_output=True)

    @staticmethod
    def anchor(key):
        return f'. initial-key 257 3 {key[1]} "{key[2]}";'

    def __enter__(self):
        subprocess.run(["ip", "address", "add", ADDRESS + "/32", "dev", "lo"], check=True)
        subprocess.run(["mount", "--bind", os.path.join(self.folder, "bind.keys"), BIND_KEYS], check=True)
        log = os.path.join(self.folder, "named.log")
        with open(log, "wb") as out:
            self.named = subprocess.Popen(["named", "-g", "-c", os.path.join(self.folder, "named.conf"), "-X",
                                           os.path.join(self.folder, "named.lock")], stdout=out, stderr=out)
        for _ in range(300):
            with open(log, encoding="utf-8", errors="replace") as f:
                if " running\n" in (said := f.read()):
                    return self
            time.sleep(0.05)
        raise RuntimeError("the fake root's named did not start:\n" + said)

    def __exit__(self, *exception):
        self.named.kill()
        self.named.wait()
        subprocess.run(["umount", BIND_KEYS], check=False)
