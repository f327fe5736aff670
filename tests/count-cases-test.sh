#!/bin/sh
# The closing line of make test counts what the result files say: cases
# written on one line or over several, failed, skipped, passed, and the
# test programs' own set-up. Writes its one case to RESULT_XML.
#   count-cases-test.sh RUN_TESTS_SH RESULT_XML
set -u
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cat >"$scratch/cases.xml" <<'XML'
<testsuite name="sample">
<testcase name="passedOnOneLine"/>
<testcase name="failedOnOneLine"><failure/></testcase>
<testcase name="failedWithAMessage"><failure message="a &lt;failure&gt;"/></testcase>
<testcase name="skipped"><skipped/></testcase>
<testcase name="failedOverLines" classname="x">
  <failure type="fail" message="m"/>
</testcase>
<testcase name="errorOverLines">
  <error message="crashed"/>
</testcase>
<testcase name="passedOverLines">
  <system-out><![CDATA[output
<failure> in the output is not a failure]]></system-out>
</testcase>
<testcase name="initTestCase"/>
</testsuite>
<testsuite><testcase name="passedAfterItsSuite"/></testsuite>
XML
got=$(sh "$1" --count "$scratch/cases.xml")
if [ "$got" = "3 4 1" ]; then
    echo '<testsuite><testcase name="counts"/></testsuite>' >"$2"
else
    echo "counted '$got', not '3 4 1' (passed failed skipped)"
    echo '<testsuite><testcase name="counts"><failure/></testcase></testsuite>' >"$2"
    exit 1
fi
