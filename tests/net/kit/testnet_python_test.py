"""The Python face of the network test kit: servers as context managers."""
import os
import sys
import tempfile
import unittest
import urllib.request

sys.path.insert(0, os.path.join(os.environ["UPD_SOURCE_DIR"], "tools", "testnet"))
import testnet  # noqa: E402

DIRECT = urllib.request.build_opener(urllib.request.ProxyHandler({}))


class TestnetTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def test_apache_serves_its_root_and_stops(self):
        with testnet.Apache(self.folder.name, ipv6=True) as web:
            web.put("a.txt", "from apache")
            with DIRECT.open(web.url("/a.txt")) as reply:
                self.assertEqual(reply.read(), b"from apache")
            with DIRECT.open(web.url("/a.txt", host="::1")) as reply:
                self.assertEqual(reply.read(), b"from apache")
            entries = web.access_log(at_least=2)
            url = web.url("/a.txt")
        self.assertEqual([e["status"] for e in entries], ["200", "200"])
        with self.assertRaises(OSError):
            DIRECT.open(url, timeout=5)

    def test_scripted_server_records_each_connection(self):
        reply = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"
        steps = [{"read_request": True}, {"send": reply}]
        with testnet.Scripted(self.folder.name, [steps, steps]) as server:
            for _ in range(2):
                with DIRECT.open(server.url("/x")) as answer:
                    self.assertEqual(answer.read(), b"abc")
            requests = server.requests()
        self.assertEqual([conn for conn, _ in requests], [0, 1])
        self.assertTrue(requests[0][1].startswith(b"GET /x HTTP/1.1\r\n"))


if __name__ == "__main__":
    unittest.main()
