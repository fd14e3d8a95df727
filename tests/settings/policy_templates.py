#!/usr/bin/env python3
"""The administrative templates (installer/policy) against the product's source: every
value that the add-in and the configuration program read has its policy, of the type
they read, under the key they read; and every text the templates name is in the ADML.

Usage: policy_templates.py SOURCE_DIR
"""
import glob
import os
import re
import sys
import unittest
import xml.etree.ElementTree as ET

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
SOURCE = None  # set from the command line


def source_text(*patterns):
    text = ""
    for pattern in patterns:
        for path in sorted(glob.glob(os.path.join(SOURCE, pattern))):
            with open(path, encoding="utf-8") as f:
                text += f.read()
    return text


def values_read():
    """{value name: "number" or "expandable text"} as the C++ source reads the values in force."""
    code = source_text("settings/*.cpp", "config/*.cpp", "addin/*.cpp")
    read = {}
    for name, kind in re.findall(r'GetSettingValue\(\s*L"(\w+)",\s*(kRegNumber|kRegText)', code):
        read[name] = "number" if kind == "kRegNumber" else "expandable text"
    for name in re.findall(r'ReadSettingNumber\(\s*L"(\w+)"', code):
        read[name] = "number"
    for name in re.findall(r'ReadExpandableSetting\(\s*L"(\w+)"', code):
        read[name] = "expandable text"
    return read


def policy_key_in_source():
    found = re.findall(r'kPolicyKeyPath\s*=\s*L"([^"]*)"', source_text("settings/*.cpp"))
    assert len(found) == 1, "one definition of kPolicyKeyPath: %r" % found
    return found[0].replace("\\\\", "\\")


def written_by(policy):
    """{value name: type} that one ADMX policy writes when enabled or disabled."""
    written = {}
    name = policy.get("valueName")
    if name:
        numbers = [policy.find("p:%s/p:decimal" % which, NS) is not None
                   for which in ("enabledValue", "disabledValue")]
        written[name] = "number" if all(numbers) else "other"
    for element in policy.findall("p:elements/*", NS):
        tag = element.tag.split("}")[1]
        if tag == "text":
            kind = "expandable text" if element.get("expandable") == "true" else "text"
        elif tag == "decimal" and element.get("storeAsText") != "true":
            kind = "number"
        else:
            kind = tag
        written[element.get("valueName")] = kind
    return written


class PolicyTemplates(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        folder = os.path.join(SOURCE, "installer", "policy")
        cls.admx = ET.parse(os.path.join(folder, "Quillstow.admx")).getroot()
        cls.adml = ET.parse(os.path.join(folder, "en-US", "Quillstow.adml")).getroot()
        cls.policies = cls.admx.findall("p:policies/p:policy", NS)
        cls.strings = {s.get("id"): s.text for s in cls.adml.iterfind(".//p:stringTable/p:string", NS)}
        cls.presentations = {p.get("id"): p for p in
                             cls.adml.iterfind(".//p:presentationTable/p:presentation", NS)}

    def test_every_value_read_has_one_policy_of_its_type_and_no_other_policy(self):
        read = values_read()
        written = {}
        for policy in self.policies:
            for name, kind in written_by(policy).items():
                self.assertNotIn(name, written, "two policies write %s" % name)
                written[name] = kind
        self.assertEqual(written, read)
        self.assertTrue({"EnabledIn", "FolderIn", "CatchUp"} <= set(read),
                        "the source's reads were found: %r" % read)

    def test_every_policy_is_under_the_products_key_for_computer_and_user(self):
        key = policy_key_in_source()
        categories = {c.get("name"): c for c in self.admx.iterfind("p:categories/p:category", NS)}
        for policy in self.policies:
            with self.subTest(policy.get("name")):
                self.assertEqual(policy.get("key"), key)
                for element in policy.findall("p:elements/*", NS):
                    self.assertIn(element.get("key"), (None, key))
                self.assertEqual(policy.get("class"), "Both")
                parent = categories[policy.find("p:parentCategory", NS).get("ref")]
                self.assertEqual(self.text_of(parent.get("displayName")), "Quillstow for Outlook")
                self.assertIsNone(parent.find("p:parentCategory", NS), "a category of its own")

    def test_every_reference_resolves_in_the_adml(self):
        references = set()
        for element in self.admx.iter():
            for value in element.attrib.values():
                references.update(re.findall(r"\$\((string|presentation)\.([^)]*)\)", value))
        self.assertTrue(references)
        for table, name in sorted(references):
            with self.subTest("%s.%s" % (table, name)):
                if table == "string":
                    self.assertTrue(self.strings.get(name, "").strip(), "no text")
                else:
                    self.assertIn(name, self.presentations)
        self.assertGreaterEqual(float(self.adml.get("revision")),
                                float(self.admx.find("p:resources", NS).get("minRequiredRevision")))

    def test_each_policys_elements_and_presentation_match(self):
        for policy in self.policies:
            with self.subTest(policy.get("name")):
                ids = {e.get("id") for e in policy.findall("p:elements/*", NS)}
                reference = policy.get("presentation")
                if not ids:
                    self.assertIsNone(reference)
                    continue
                shown = self.presentations[re.fullmatch(r"\$\(presentation\.(.*)\)",
                                                        reference).group(1)]
                self.assertEqual({c.get("refId") for c in shown}, ids)

    def text_of(self, reference):
        return self.strings[re.fullmatch(r"\$\(string\.(.*)\)", reference).group(1)]


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    SOURCE = os.path.abspath(sys.argv.pop(1))
    unittest.main()
