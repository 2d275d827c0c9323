#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into fuzz/corpus/<target>/.

Text and DNS-style seeds are built here the way the tests' tables build them. As root,
the rtnetlink seeds are real kernel dumps read in a scratch network namespace that this
script makes and removes (links, addresses, routes and neighbours of its own, nothing
sent); with --lab PREFIX a NetBIOS node status reply of a running lab's unit NAS01 is
captured too, with --dhcp-lab PREFIX a DISCOVER of the lab's waiting unit NAS03, and with
--ftp-lab PREFIX the replies and a name listing of NAS01's FTP server. Run by hand when a
parser's input changes; the output is committed."""
import os, socket, struct, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def put(target, name, data):
    d = os.path.join(CORPUS, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def dns_name(dotted):
    out = b""
    for label in dotted.split("."):
        out += bytes([len(label)]) + label.encode()
    return out + b"\0"


def header(ident, flags, qd, an):
    return struct.pack(">HHHHHH", ident, flags, qd, an, 0, 0)


ENCODED_WILDCARD = b"CK" + b"A" * 30


def node_status(names, ident=0x4D2A, question=False):
    b = header(ident, 0x8400, 1 if question else 0, 1) + b"\x20" + ENCODED_WILDCARD + b"\0"
    if question:
        b += struct.pack(">HHH", 0x21, 1, 0xC00C)
    body = bytes([len(names)])
    for name, suffix, flags in names:
        body += name.ljust(15)[:15].encode() + bytes([suffix]) + struct.pack(">H", flags)
    body += b"\x11" * 46
    return b + struct.pack(">HHIH", 0x21, 1, 0, len(body)) + body


REVERSE = "21.7.231.10.in-addr.arpa"


def mdns_answer(ident=0x4D2A, question=True, target="nas01.local"):
    b = header(ident, 0x8400, 1 if question else 0, 2)
    if question:
        b += dns_name(REVERSE) + struct.pack(">HH", 12, 1)
    b += dns_name("other.local") + struct.pack(">HHIHI", 1, 0x8001, 120, 4, 0x0A0000FE)
    b += struct.pack(">H", 0xC00C) if question else dns_name(REVERSE)
    t = dns_name(target)
    return b + struct.pack(">HHIH", 12, 0x8001, 120, len(t)) + t


def compressed_target():
    b = header(0x4D2A, 0x8400, 0, 2) + dns_name("other.local")
    b += struct.pack(">HHIHI", 1, 1, 120, 4, 1)
    b += dns_name(REVERSE) + struct.pack(">HHIH", 12, 1, 120, 8) + b"\x05nas07"
    return b + struct.pack(">H", 0xC000 | 18)


def text_seeds():
    with open(os.path.join(HERE, "..", "resources", "manager.ini"), "rb") as f:
        put("fuzz_manager_ini", "sample", f.read())
    six = "".join('Key%d="v%d"\r\n' % (i, i) for i in range(1, 7))
    put("fuzz_manager_ini", "six", six)
    put("fuzz_manager_ini", "five", six[: six.rfind("Key6")])
    put("fuzz_manager_ini", "bare", '"a""b""c""d""e""f"')
    put("fuzz_manager_ini", "long", '"' + "x" * 100 + '"' + six[12:])
    put("fuzz_manager_ini", "nul", '"a"\0"b""c""d""e""f"')
    put("fuzz_manager_ini", "multiline", '"/in\r\ndex"' + six[12:])

    put("fuzz_dns_name", "plain", b"\x00\x01" + dns_name(REVERSE) + b"\0\x0c\0\x01")
    put("fuzz_dns_name", "pointer", b"\x0d\x00" + dns_name("other.local") + b"\x05nas07\xc0\x06")
    put("fuzz_dns_name", "questions", b"\x0c\x02" + mdns_answer()[:12] +
        dns_name(REVERSE) + b"\0\x0c\0\x01" + b"\xc0\x0c\0\x0c\0\x01")

    nas01 = [("NAS01", 0, 0x0400), ("NAS01", 0x20, 0x0400),
             ("WORKGROUP", 0, 0x8400), ("WORKGROUP", 0x1E, 0x8400)]
    put("fuzz_netbios_reply", "nmbd-like", node_status(nas01))
    put("fuzz_netbios_reply", "with-question", node_status(nas01, question=True))
    put("fuzz_netbios_reply", "group-first",
        node_status([("WORKGROUP", 0, 0x8400), ("NAS02", 0, 0x0400)]))

    put("fuzz_mdns_reply", "avahi-like", mdns_answer())
    put("fuzz_mdns_reply", "no-question", mdns_answer(question=False))
    put("fuzz_mdns_reply", "compressed", compressed_target())

    nm = "ip_address = 10.231.7.150 | routers = 10.231.7.1 10.231.7.2 | subnet_mask = 255.255.255.0\n"
    terse = ("DHCP4.OPTION[1]:routers = 10.231.7.1 10.231.7.2\n"
             "DHCP4.OPTION[2]:subnet_mask = 255.255.255.0\n")
    put("fuzz_dhcp_client_state", "nmcli", "\0" + nm)
    put("fuzz_dhcp_client_state", "nmcli-terse", "\0" + terse)
    put("fuzz_dhcp_client_state", "networkd",
        "\1# private\nADDRESS=10.231.7.150\nNETMASK=255.0.0.0\nROUTER=10.231.7.1,10.231.7.2\n")
    put("fuzz_dhcp_client_state", "udhcpc", "\2/sbin/udhcpc\0-fqi\0eth0\0-s\0/run/x.sh\0")
    put("fuzz_dhcp_client_state", "busybox", "\2busybox\0udhcpc\0--interface=eth0\0")
    put("fuzz_dhcp_client_state", "dhclient", "\2dhclient\0-pf\0/run/d.pid\0eth0\0")

    # PWD replies and name listings, as the FTP client's tests give them.
    put("fuzz_ftp_replies", "pwd", '257 "/config" is the current directory\r\n')
    put("fuzz_ftp_replies", "pwd-quotes", '250 ok\n257 "/a""b ""c" is current\n')
    put("fuzz_ftp_replies", "pwd-unquoted", "257 /config is the current directory\r\n")
    put("fuzz_ftp_replies", "pwd-greeting", '220-hello 257 "/evil"\r\n257 "/ok"\r\n')
    put("fuzz_ftp_replies", "pwd-open", '257 "/con\r\nfig"\r\n')
    put("fuzz_ftp_replies", "listing-crlf", "CONFIG.INI\r\nold.fup\r\n\r\nfw/new.fup\r\n")
    put("fuzz_ftp_replies", "listing-lf", "a b\n.\n..\n\nconfig/\nlast")
    put("fuzz_ftp_replies", "listing-odd", "CONFIG.INI\0.old\r\na\rb.fup\r\n" + "n" * 300 + "\r\n")


# --- real kernel dumps -------------------------------------------------------------
NLM_F_REQUEST, NLM_F_DUMP = 1, 0x300
RTM_GETLINK, RTM_GETADDR, RTM_GETROUTE, RTM_GETNEIGH = 18, 22, 26, 30


def dump(msg_type, family_struct, seq):
    s = socket.socket(socket.AF_NETLINK, socket.SOCK_RAW, 0)
    s.bind((0, 0))
    s.send(struct.pack("=IHHII", 16 + len(family_struct), msg_type, NLM_F_REQUEST | NLM_F_DUMP,
                       seq, 0) + family_struct)
    datagrams = []
    while True:
        d = s.recv(65536)
        datagrams.append(d)
        # NLMSG_DONE ends the dump; it may share a datagram with the last entries.
        at, done = 0, False
        while at + 16 <= len(d):
            length, kind = struct.unpack_from("=IH", d, at)
            done = done or kind == 3
            at += (length + 3) & ~3
        if done:
            return datagrams


def in_namespace_capture(out):
    """Runs inside the scratch namespace: writes the raw dumps into directory out."""
    af_inet = socket.AF_INET
    neigh = dump(RTM_GETNEIGH, struct.pack("=BxxxiHBB", af_inet, 0, 0, 0, 0), 1)
    for i, d in enumerate(neigh):
        open(os.path.join(out, "neigh-%d" % i), "wb").write(d)
    host = []
    for kind, body in ((RTM_GETLINK, struct.pack("=BxHiII", 0, 0, 0, 0, 0)),
                       (RTM_GETADDR, struct.pack("=BBBBI", af_inet, 0, 0, 0, 0)),
                       (RTM_GETROUTE, struct.pack("=BBBBBBBBI", af_inet, 0, 0, 0, 0, 0, 0, 0, 0))):
        host += dump(kind, body, 7)
    open(os.path.join(out, "host"), "wb").write(b"CUT!".join(host))


def kernel_seeds():
    ns = "zfuzzseed%d" % os.getpid()
    run = lambda *a: subprocess.run(["ip", "-n", ns] + list(a), check=True)
    subprocess.run(["ip", "netns", "add", ns], check=True)
    try:
        run("link", "set", "lo", "up")
        run("link", "add", "eth0", "address", "02:00:00:00:00:10", "type", "veth",
            "peer", "name", "peer0")
        run("link", "add", "eth1", "type", "veth", "peer", "name", "peer1")
        for link in ("eth0", "peer0", "eth1", "peer1"):
            run("link", "set", link, "up")
        run("addr", "add", "10.231.7.10/24", "dev", "eth0", "valid_lft", "3600",
            "preferred_lft", "3600")
        run("addr", "add", "10.231.8.10/24", "dev", "eth1")
        run("route", "add", "default", "via", "10.231.7.1", "dev", "eth0", "proto", "dhcp",
            "metric", "100")
        run("route", "add", "default", "metric", "200", "nexthop", "via", "10.231.7.1",
            "dev", "eth0", "nexthop", "via", "10.231.8.1", "dev", "eth1")
        for i, state in enumerate(("permanent", "stale", "reachable", "noarp")):
            run("neigh", "add", "10.231.7.%d" % (21 + i), "lladdr",
                "02:5a:e1:40:00:%02x" % (i + 1), "dev", "eth0", "nud", state)
        run("neigh", "add", "10.231.7.40", "lladdr", "02:11:22:33:44:55", "dev", "eth0",
            "nud", "stale")
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["ip", "netns", "exec", ns, sys.executable, __file__,
                            "--in-namespace", out], check=True)
            put("fuzz_neighbour_dump", "kernel", open(os.path.join(out, "neigh-0"), "rb").read())
            put("fuzz_host_netlink", "kernel", open(os.path.join(out, "host"), "rb").read())
    finally:
        subprocess.run(["ip", "netns", "del", ns])


def dhcp_seeds(prefix):
    """A DISCOVER of the lab's waiting unit NAS03 (busybox udhcpc), received on port 67
    in the PC's namespace, and the same message turned into a REQUEST."""
    lab = os.path.join(HERE, "..", "lab", "lab.sh")
    code = ("import socket,sys;s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM);"
            "s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1);s.bind(('0.0.0.0',67));"
            "s.settimeout(20);sys.stdout.buffer.write(s.recvfrom(2048)[0])")
    discover = subprocess.run([lab, "exec", prefix, "--", sys.executable, "-c", code],
                              capture_output=True, check=True).stdout
    put("fuzz_dhcp_message", "udhcpc-discover", discover)
    request = bytearray(discover)
    if request[240] == 53:
        request[242] = 3
        put("fuzz_dhcp_message", "udhcpc-request", bytes(request))


def ftp_seeds(prefix):
    """The control connection's replies of the vsftpd of the lab's unit NAS01 (config=yes,
    firmware files) through a login, PWD, CWD and a name listing, and the listing itself."""
    lab = os.path.join(HERE, "..", "lab", "lab.sh")
    address = subprocess.run([lab, "unit-addr", prefix, "NAS01"], capture_output=True,
                             text=True, check=True).stdout.strip()
    code = r"""
import re, socket, sys
c = socket.create_connection((sys.argv[1], 21), timeout=5)
got = b""
def reply():
    global got
    data = b""
    while not re.search(rb"(^|\n)\d{3} [^\n]*\n$", data):
        chunk = c.recv(4096)
        if not chunk:
            break
        data += chunk
    got += data
    return data
def send(line):
    c.sendall(line.encode() + b"\r\n")
    return reply()
reply()
for line in ("USER korblenx", "PASS ferntide", "PWD", "CWD /config", "PWD", "CWD /none",
             "CWD /firmware", "PWD", "TYPE I"):
    send(line)
port = re.search(rb"\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)", send("PASV")).groups()
d = socket.create_connection((sys.argv[1], int(port[4]) * 256 + int(port[5])), timeout=5)
send("NLST")
listing = b""
while True:
    chunk = d.recv(4096)
    if not chunk:
        break
    listing += chunk
reply()
send("QUIT")
sys.stdout.buffer.write(got + b"\0CUT\0" + listing)
"""
    out = subprocess.run([lab, "exec", prefix, "--", sys.executable, "-c", code, address],
                         capture_output=True, check=True).stdout
    replies, listing = out.split(b"\0CUT\0")
    put("fuzz_ftp_replies", "vsftpd-replies", replies)
    put("fuzz_ftp_replies", "vsftpd-nlst", listing)


def lab_seed(prefix):
    """A node status reply from the nmbd of the lab's unit NAS01, asked from the PC."""
    lab = os.path.join(HERE, "..", "lab", "lab.sh")
    address = subprocess.run([lab, "unit-addr", prefix, "NAS01"], capture_output=True,
                             text=True, check=True).stdout.strip()
    code = ("import socket,sys;s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM);"
            "s.settimeout(3);q=bytes.fromhex(sys.argv[2]);s.sendto(q,(sys.argv[1],137));"
            "sys.stdout.buffer.write(s.recvfrom(2048)[0])")
    request = (header(0x4D2A, 0, 1, 0) + b"\x20" + ENCODED_WILDCARD + b"\0" +
               struct.pack(">HH", 0x21, 1)).hex()
    reply = subprocess.run([lab, "exec", prefix, "--", sys.executable, "-c", code, address,
                            request], capture_output=True, check=True).stdout
    put("fuzz_netbios_reply", "nmbd", reply)


if __name__ == "__main__":
    if sys.argv[1:2] == ["--in-namespace"]:
        in_namespace_capture(sys.argv[2])
        sys.exit(0)
    text_seeds()
    if os.geteuid() == 0:
        kernel_seeds()
    else:
        print("not root: the rtnetlink seeds are left as they are", file=sys.stderr)
    if sys.argv[1:2] == ["--lab"]:
        lab_seed(sys.argv[2])
    if sys.argv[1:2] == ["--ftp-lab"]:  # a lab whose unit NAS01 has config=yes and firmware
        ftp_seeds(sys.argv[2])
    if sys.argv[1:2] == ["--dhcp-lab"]:  # a lab whose unit NAS03 has no address
        dhcp_seeds(sys.argv[2])
