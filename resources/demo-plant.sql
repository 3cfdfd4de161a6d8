-- The demonstration plant of the run script: two more inverters on the line
-- of the default device, each with the factory parameters of its rating.
insert into devices (id, devname, devaddr, DEVPOWER, TOTALPOWER, DEVCOMVERSION)
values ('002', 'PV-INV 2', 2, '3K', '1', '1');
insert into devices (id, devname, devaddr, DEVPOWER, TOTALPOWER, DEVCOMVERSION)
values ('003', 'PV-INV 3', 3, '5K', '1', '1');
create temporary table demo_rows as select * from paraset_3K;
update demo_rows set devid = '002';
insert into paraset select * from demo_rows;
delete from demo_rows;
insert into demo_rows select * from paraset_5K;
update demo_rows set devid = '003';
insert into paraset select * from demo_rows;
drop table demo_rows;
