"""Reads of many targets run side by side; rows must still come in target order.
(A write's rows: test_write_commands.Cancellation.)"""
import json
import os

from qlm_run import QlmTestCase


class ReadOrder(QlmTestCase):
    def test_rows_and_error_lines_follow_the_targets_whatever_order_reads_finish_in(self):
        names = []
        for i in range(60):
            name = "n%02d.txt" % i
            names.append(name)
            if i % 7 == 3:
                continue  # left missing: an error row in the middle
            path = os.path.join(self.work, name)
            with open(path, "w") as f:
                f.write("x" * (60 - i) * 1000)  # larger files first, so early reads tend to finish late
            os.setxattr(path, "user.xdg.tags", ("t%d" % i).encode())
        missing = [n for i, n in enumerate(names) if i % 7 == 3]
        present = [n for i, n in enumerate(names) if i % 7 != 3]

        r = self.qlm("tag", "get", *names)
        self.assertEqual(r.code, 1)
        self.assertEqual(r.out, "".join("%s: t%d\n" % (os.path.join(self.work, n), int(n[1:3])) for n in present))
        self.assertEqual(r.err, "".join("qlm: %s: No file or folder exists at this path.\n" % os.path.join(self.work, n)
                                        for n in missing))

        rows = json.loads(self.qlm("info", "--json", *names).out)["results"]
        self.assertEqual([row["path"] for row in rows], [os.path.join(self.work, n) for n in names])
        self.assertEqual([row.get("tags") for row in rows],
                         [None if i % 7 == 3 else ["t%d" % i] for i in range(60)])
